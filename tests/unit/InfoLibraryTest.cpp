// The driver package's information library on its own: loaded from where the build puts it and
// asked as the platform's 8-bit device-capabilities query is asked.
#include <gtest/gtest.h>

#include "SimulatedPC.h"
#include "common/Handles.h"
#include "local/PrinterDriver.h"

using testing_support::SimulatedPC;

namespace {

class InfoLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_library.reset(LoadLibraryW(SimulatedPC::BuiltInfoLibrary().c_str()));
        ASSERT_TRUE(m_library) << "no " << SimulatedPC::BuiltInfoLibrary();
        m_query = reinterpret_cast<InfoLibraryQuery>(
            reinterpret_cast<void*>(GetProcAddress(m_library.get(), kInfoLibraryExport)));
        ASSERT_NE(m_query, nullptr);
    }
    int Ask(const char* device, WORD capability) { return m_query(device, "", capability, nullptr, nullptr); }

    SimulatedPC pc;
    scup::UniqueModule m_library;
    InfoLibraryQuery m_query = nullptr;
};

TEST_F(InfoLibraryTest, AnswersFromTheDriverKeyByDriverOrPrinterName) {
    pc.AddFamilyPrinter(L"Sim Info Office", L"Corvane IL-1", 0x2501);
    pc.SetDriverValue(L"Corvane IL-1", L"SpecialTape", 0x40000);

    EXPECT_EQ(Ask("Corvane IL-1", kCapModelId), 0x2501);
    EXPECT_EQ(Ask("Sim Info Office", kCapModelId), 0x2501);
    EXPECT_EQ(Ask("sim info office", kCapModelId), 0x2501);
    EXPECT_EQ(Ask("Sim Info Office", kCapSpecialTape), 0x40000);
    // The device mode and the port do not change the answer.
    DEVMODEA mode{};
    mode.dmSize = sizeof(mode);
    EXPECT_EQ(m_query("Corvane IL-1", "COM5:", kCapModelId, nullptr, &mode), 0x2501);
}

TEST_F(InfoLibraryTest, UnknownCapabilitiesAndMissingValues) {
    pc.AddPrinterQueue(L"Sim Info Bare", L"Corvane IL-2");
    pc.AddDriver(L"Corvane IL-2");

    EXPECT_EQ(Ask("Sim Info Bare", kCapModelId), -1);
    EXPECT_EQ(Ask("Sim Info Bare", kCapSpecialTape), 0);
    EXPECT_EQ(Ask("Corvane IL-Absent", kCapModelId), -1);
    pc.SetDriverValue(L"Corvane IL-2", L"ModelId", 0x2502);
    EXPECT_EQ(Ask("Sim Info Bare", kCapModelId), 0x2502);
    EXPECT_EQ(Ask("Sim Info Bare", 1), -1);
    EXPECT_EQ(Ask("Sim Info Bare", 277), -1);
    EXPECT_EQ(m_query(nullptr, "", kCapModelId, nullptr, nullptr), -1);
}

TEST_F(InfoLibraryTest, ReadsThe64BitViewWhenThe32BitViewHasNoKey) {
    pc.AddDriver(L"Corvane IL-3", L"CVSCINF.dll", SimulatedPC::View::Wide64);
    pc.SetDriverValue(L"Corvane IL-3", L"ModelId", 0x2503, SimulatedPC::View::Wide64);
    EXPECT_EQ(Ask("Corvane IL-3", kCapModelId), 0x2503);

    pc.AddDriver(L"Corvane IL-3");
    pc.SetDriverValue(L"Corvane IL-3", L"ModelId", 0x2513);
    EXPECT_EQ(Ask("Corvane IL-3", kCapModelId), 0x2513);
}

}  // namespace
