// The printer drivers of the family on a simulated PC: spooler queues and driver keys in the
// prefix's registry, and the driver package's information library installed beside the drivers.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "SimulatedPC.h"
#include "TestSupport.h"
#include "common/Profile.h"
#include "common/Resources.h"
#include "local/PrinterDriver.h"
#include "local/PrinterList.h"

using testing_support::SimulatedPC;
using View = SimulatedPC::View;
using Place = SimulatedPC::LibraryPlace;

namespace {

bool Contains(const std::vector<std::wstring>& list, const std::wstring& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::wstring ExpectedSpecialTapeSuffix() {
    // The resource library may name the mode; without a text of its own it is "Special Tape".
    return L"(" + scup::FindResString(10000).value_or(L"Special Tape") + L")";
}

// Model identifiers are kept per driver for the life of the process: a test that asks for them
// names its drivers afresh each time it runs, so that a repeated run starts with nothing kept.
std::wstring FreshDriverName(const std::wstring& base) {
    static int runs = 0;
    return base + L" #" + std::to_wstring(++runs);
}

std::wstring ModuleFile(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

class DriverInfoTest : public ::testing::Test {
  protected:
    // The family drivers the prefix had before the test added its own.
    void SetUp() override { EnumFamilyPrinters(nullptr, m_before, false); }

    // The drivers the test added, as the enumeration lists them; checks the count it gives.
    std::vector<std::wstring> AddedFamilyDrivers(bool updaterEnabledOnly, OnlineMap* online = nullptr) {
        std::vector<std::wstring> drivers = m_before;
        const int added = EnumFamilyPrinters(online, drivers, updaterEnabledOnly);
        std::vector<std::wstring> mine(drivers.begin() + m_before.size(), drivers.end());
        EXPECT_EQ(added, static_cast<int>(mine.size()));
        return mine;
    }

    SimulatedPC pc;
    std::vector<std::wstring> m_before;
};

// ---- Which drivers are of the family -------------------------------------------------------------

TEST_F(DriverInfoTest, MakerNameCountsInAnyCaseAndOthersAreLeftOut) {
    pc.AddPrinterQueue(L"Sim Upper", L"CORVANE QL-800");
    pc.AddDriver(L"CORVANE QL-800");
    pc.AddPrinterQueue(L"Sim Mixed", L"CoRvAnE SC-9");
    pc.AddDriver(L"CoRvAnE SC-9");
    // Known to the driver registry but not the maker's by name.
    pc.AddPrinterQueue(L"Sim Foreign", L"Labelwriter 450");
    pc.AddDriver(L"Labelwriter 450");

    std::vector<std::wstring> drivers = AddedFamilyDrivers(false);
    EXPECT_EQ(drivers.size(), 2u);
    EXPECT_TRUE(Contains(drivers, L"CORVANE QL-800"));
    EXPECT_TRUE(Contains(drivers, L"CoRvAnE SC-9"));
}

TEST_F(DriverInfoTest, TwoPrintersOnOneDriverGiveOneEntryOnlineIfEitherIs) {
    pc.AddPrinterQueue(L"Sim A1", L"Corvane QL-700", kPrinterWorkOffline);
    pc.AddPrinterQueue(L"Sim A2", L"Corvane QL-700");
    pc.AddPrinterQueue(L"Sim B1", L"Corvane QL-710");
    pc.AddPrinterQueue(L"Sim B2", L"Corvane QL-710", kPrinterWorkOffline);
    pc.AddPrinterQueue(L"Sim C1", L"Corvane QL-720", kPrinterWorkOffline);
    pc.AddPrinterQueue(L"Sim C2", L"Corvane QL-720", kPrinterWorkOffline | kPrinterHidden);
    for (const wchar_t* driver : {L"Corvane QL-700", L"Corvane QL-710", L"Corvane QL-720"})
        pc.AddDriver(driver);

    OnlineMap online;
    std::vector<std::wstring> drivers = AddedFamilyDrivers(false, &online);
    ASSERT_EQ(drivers.size(), 3u);
    EXPECT_TRUE(online[L"Corvane QL-700"]);
    EXPECT_TRUE(online[L"Corvane QL-710"]);
    EXPECT_EQ(online.count(L"Corvane QL-720"), 0u) << "a driver whose printers are all offline is not marked";
}

TEST_F(DriverInfoTest, DriverWithoutInfoLibraryIsNotListed) {
    pc.AddPrinterQueue(L"Sim No Dll", L"Corvane QL-1100");
    pc.AddDriver(L"Corvane QL-1100", L"");
    pc.AddPrinterQueue(L"Sim No Key", L"Corvane QL-1110");
    pc.AddPrinterQueue(L"Sim With Dll", L"Corvane QL-1120");
    pc.AddDriver(L"Corvane QL-1120");

    std::vector<std::wstring> drivers = AddedFamilyDrivers(false);
    EXPECT_EQ(drivers, std::vector<std::wstring>{L"Corvane QL-1120"});
    std::wstring library;
    EXPECT_FALSE(FindInfoLibrary(L"Corvane QL-1100", library));
}

TEST_F(DriverInfoTest, UpdaterFilterWantsTransferUiOrEnableUpdater) {
    struct Case {
        const wchar_t* driver;
        std::optional<DWORD> transferUi, enableUpdater;
        bool listed;
    };
    const Case cases[] = {
        {L"Corvane SC-U1", 0, 1, true},
        {L"Corvane SC-U2", std::nullopt, std::nullopt, false},
        {L"Corvane SC-U3", 1, std::nullopt, true},
        {L"Corvane SC-U4", 0, 0, false},
        {L"Corvane SC-U5", std::nullopt, 1, true},
    };
    for (const Case& c : cases) {
        pc.AddPrinterQueue(std::wstring(L"Sim ") + c.driver, c.driver);
        pc.AddDriver(c.driver);
        if (c.transferUi) pc.SetDriverValue(c.driver, L"TransferUI", *c.transferUi);
        if (c.enableUpdater) pc.SetDriverValue(c.driver, L"EnableUpdater", *c.enableUpdater);
    }

    std::vector<std::wstring> enabled = AddedFamilyDrivers(true);
    std::vector<std::wstring> all = AddedFamilyDrivers(false);
    for (const Case& c : cases) {
        EXPECT_EQ(Contains(enabled, c.driver), c.listed) << c.driver;
        EXPECT_TRUE(Contains(all, c.driver));
    }
}

TEST_F(DriverInfoTest, ExcludedMakersAreNeverOfTheFamily) {
    const wchar_t* excluded[] = {L"EPSON Corvane", L"hp Corvane",    L"Canon Corvane", L"Microsoft Corvane",
                                 L"DEC Corvane",   L"ibm Corvane 1", L"NEC Corvane"};
    for (const wchar_t* driver : excluded) {
        pc.AddPrinterQueue(std::wstring(L"Sim ") + driver, driver);
        pc.AddDriver(driver);
    }
    // Only the three letters "HP " with their space are another maker's.
    pc.AddPrinterQueue(L"Sim HPX", L"HPX Corvane");
    pc.AddDriver(L"HPX Corvane");

    EXPECT_EQ(AddedFamilyDrivers(false), std::vector<std::wstring>{L"HPX Corvane"});
    std::wstring library;
    for (const wchar_t* driver : excluded) EXPECT_FALSE(GetInfoLibrary(driver, library, false));
    EXPECT_TRUE(HasExcludedPrefix(L"Mic"));
    EXPECT_FALSE(HasExcludedPrefix(L"Mi"));
    EXPECT_FALSE(HasExcludedPrefix(L"HP"));
}

TEST_F(DriverInfoTest, DriverOfThe64BitViewIsListed) {
    pc.AddPrinterQueue(L"Sim Wide", L"Corvane QL-W64");
    pc.AddDriver(L"Corvane QL-W64", L"CVSCW64.dll", View::Wide64);
    pc.SetDriverValue(L"Corvane QL-W64", L"EnableUpdater", 1, View::Wide64);

    EXPECT_EQ(AddedFamilyDrivers(true), std::vector<std::wstring>{L"Corvane QL-W64"});
}

TEST_F(DriverInfoTest, InfoLibraryIsReadFromTheViewAsked) {
    pc.AddDriver(L"Corvane QL-N32", L"CVSCN32.dll", View::Normal);
    pc.AddDriver(L"Corvane QL-N64", L"CVSCN64.dll", View::Wide64);

    std::wstring library;
    EXPECT_TRUE(GetInfoLibrary(L"Corvane QL-N32", library, false));
    EXPECT_EQ(library, L"CVSCN32.dll");
    EXPECT_FALSE(GetInfoLibrary(L"Corvane QL-N32", library, true));
    EXPECT_FALSE(GetInfoLibrary(L"Corvane QL-N64", library, false));
    EXPECT_TRUE(GetInfoLibrary(L"Corvane QL-N64", library, true));
    EXPECT_EQ(library, L"CVSCN64.dll");
    // The driver registry is matched exactly.
    EXPECT_FALSE(GetInfoLibrary(L"corvane ql-n32", library, false));
}

TEST_F(DriverInfoTest, AnotherCompanyKeyHasItsOwnDriversFirst) {
    const std::wstring company = L"Corvane Sim Works";
    pc.AddDriver(L"Corvane QL-CO1", L"CVSCOWN.dll", View::Normal, company);
    pc.AddDriver(L"Corvane QL-CO1", L"CVSCMAKER.dll");
    pc.AddDriver(L"Corvane QL-CO2", L"CVSCMAKER2.dll");

    const scup::AppIdentity saved = scup::GetAppIdentity();
    scup::SetAppIdentity({company, saved.profileName});
    std::wstring own, maker;
    const bool foundOwn = GetInfoLibrary(L"Corvane QL-CO1", own, false);
    const bool foundMaker = GetInfoLibrary(L"Corvane QL-CO2", maker, false);
    scup::SetAppIdentity(saved);

    EXPECT_TRUE(foundOwn);
    EXPECT_EQ(own, L"CVSCOWN.dll");
    EXPECT_TRUE(foundMaker);
    EXPECT_EQ(maker, L"CVSCMAKER2.dll");
    ASSERT_TRUE(GetInfoLibrary(L"Corvane QL-CO1", own, false));
    EXPECT_EQ(own, L"CVSCMAKER.dll");
}

// ---- Loading the information library -------------------------------------------------------------

TEST_F(DriverInfoTest, LibraryComesFromTheDriverFolderFirstThenTheCommonFiles) {
    const std::wstring common = pc.InstallInfoLibrary(Place::CommonFiles);
    {
        scup::UniqueModule module = LoadInfoLibrary(SimulatedPC::kInfoLibrary);
        ASSERT_TRUE(module);
        EXPECT_TRUE(SamePath(ModuleFile(module.get()), common)) << ModuleFile(module.get());
    }
    const std::wstring driverFolder = pc.InstallInfoLibrary(Place::DriverFolder);
    scup::UniqueModule module = LoadInfoLibrary(SimulatedPC::kInfoLibrary);
    ASSERT_TRUE(module);
    EXPECT_TRUE(SamePath(ModuleFile(module.get()), driverFolder));
    EXPECT_NE(GetProcAddress(module.get(), kInfoLibraryExport), nullptr);
}

TEST_F(DriverInfoTest, LibraryIsFoundThroughTheLibrarySearchLast) {
    EXPECT_FALSE(LoadInfoLibrary(SimulatedPC::kInfoLibrary));
    const std::wstring built = SimulatedPC::BuiltInfoLibrary();
    ASSERT_TRUE(SetDllDirectoryW(built.substr(0, built.rfind(L'\\')).c_str()));
    scup::UniqueModule module = LoadInfoLibrary(SimulatedPC::kInfoLibrary);
    SetDllDirectoryW(nullptr);
    ASSERT_TRUE(module);
    EXPECT_TRUE(SamePath(ModuleFile(module.get()), built));
    EXPECT_FALSE(LoadInfoLibrary(L""));
}

// ---- Model identifiers ---------------------------------------------------------------------------

TEST_F(DriverInfoTest, ModelIdIsAskedByDriverOrByPrinterName) {
    const std::wstring qm1 = FreshDriverName(L"Corvane QM-1");
    const std::wstring qm2 = FreshDriverName(L"Corvane QM-2");
    pc.InstallInfoLibrary();
    pc.AddFamilyPrinter(L"Sim Model One", qm1, 0x2074);
    pc.AddFamilyPrinter(L"Sim Model Two Office", qm2, 0x2075);

    EXPECT_EQ(GetPrinterModelId(qm1, false), 0x2074);
    EXPECT_EQ(GetPrinterModelId(L"Sim Model Two Office", true), 0x2075);
    // By printer name a driver name finds only a printer named like it.
    EXPECT_EQ(GetPrinterModelId(qm2, true), -1);
    EXPECT_EQ(GetPrinterModelId(L"Sim Model Two Office", false), -1);
    EXPECT_EQ(GetPrinterModelId(L"Corvane QM-Absent", false), -1);
}

TEST_F(DriverInfoTest, ModelIdWaitsForTheLibraryUntilItIsInstalled) {
    const std::wstring qm3 = FreshDriverName(L"Corvane QM-3");
    pc.AddFamilyPrinter(L"Sim Model Late", qm3, 0x2076);
    EXPECT_EQ(GetPrinterModelId(qm3, false), -1);
    pc.InstallInfoLibrary();
    EXPECT_EQ(GetPrinterModelId(qm3, false), 0x2076);
}

TEST_F(DriverInfoTest, SecondModelIdOfADriverDoesNotLoadTheLibrary) {
    const std::wstring qm4 = FreshDriverName(L"Corvane QM-4");
    const std::wstring qm5 = FreshDriverName(L"Corvane QM-5");
    const std::wstring installed = pc.InstallInfoLibrary();
    pc.AddFamilyPrinter(L"Sim Model Cached", qm4, 0x2077);
    pc.AddFamilyPrinter(L"Sim Model Uncached", qm5, 0x2078);
    ASSERT_EQ(GetPrinterModelId(qm4, false), 0x2077);

    // With the library gone and the registry changed, only the kept answer can give the old value.
    ASSERT_TRUE(DeleteFileW(installed.c_str())) << GetLastError();
    pc.SetDriverValue(qm4, L"ModelId", 0x3001);
    EXPECT_EQ(GetPrinterModelId(qm4, false), 0x2077);
    EXPECT_EQ(GetPrinterModelId(L"Sim Model Cached", true), 0x2077);
    EXPECT_EQ(GetPrinterModelId(qm5, false), -1);
}

TEST(ModelIdNormalisation, ZeroBeforeOToSReadsAsFour) {
    for (unsigned long second : {'O', 'P', 'Q', 'R', 'S'}) {
        EXPECT_EQ(NormalizeModelId(second << 8 | '0'), second << 8 | '4');
        EXPECT_EQ(NormalizeModelId(0x10000 | second << 8 | '0'), 0x10000 | second << 8 | '4');
    }
    EXPECT_EQ(NormalizeModelId(0x4E30), 0x4E30u);
    EXPECT_EQ(NormalizeModelId(0x5430), 0x5430u);
    EXPECT_EQ(NormalizeModelId(0x5031), 0x5031u);
    EXPECT_EQ(NormalizeModelId(0x0030), 0x0030u);
}

// ---- Finding a printer by model identifier -------------------------------------------------------

TEST_F(DriverInfoTest, BestScoreWinsLowByteThenLow16BitsThenAll) {
    pc.InstallInfoLibrary();
    pc.AddFamilyPrinter(L"Sim Score Byte", L"Corvane QS-1", 0x994A);
    std::wstring found;
    ASSERT_TRUE(FindPrinterByModelId(nullptr, 0x214A, found));
    EXPECT_EQ(found, L"Sim Score Byte");

    pc.AddFamilyPrinter(L"Sim Score Word", L"Corvane QS-2", 0x2214A);
    ASSERT_TRUE(FindPrinterByModelId(nullptr, 0x214A, found));
    EXPECT_EQ(found, L"Sim Score Word");

    pc.AddFamilyPrinter(L"Sim Score All", L"Corvane QS-3", 0x214A);
    ASSERT_TRUE(FindPrinterByModelId(nullptr, 0x214A, found));
    EXPECT_EQ(found, L"Sim Score All");

    found = L"untouched";
    EXPECT_FALSE(FindPrinterByModelId(nullptr, 0x2100, found));
    EXPECT_EQ(found, L"untouched");
}

TEST_F(DriverInfoTest, ExactNameEndsTheSearchAmongEqualMatches) {
    pc.InstallInfoLibrary();
    pc.AddFamilyPrinter(L"Sim Twin 1", L"Corvane QT-1", 0x2250);
    pc.AddFamilyPrinter(L"Sim Twin 2", L"Corvane QT-2", 0x2250);
    std::vector<std::wstring> order;
    for (const SFamilyPrinter& p : EnumFamilyPrinterQueues())
        if (p.name.rfind(L"Sim Twin", 0) == 0) order.push_back(p.name);
    ASSERT_EQ(order.size(), 2u);

    std::wstring found;
    ASSERT_TRUE(FindPrinterByModelId(nullptr, 0x2250, found));
    EXPECT_EQ(found, order[0]) << "an equal score does not replace the first";
    ASSERT_TRUE(FindPrinterByModelId(order[1].c_str(), 0x2250, found));
    EXPECT_EQ(found, order[1]);
    // Same text only: another case is no exact name.
    std::wstring otherCase = order[1];
    std::transform(otherCase.begin(), otherCase.end(), otherCase.begin(), towupper);
    ASSERT_TRUE(FindPrinterByModelId(otherCase.c_str(), 0x2250, found));
    EXPECT_EQ(found, order[0]);
    // A preferred name wins only with the full identifier.
    pc.AddFamilyPrinter(L"Sim Twin 0", L"Corvane QT-0", 0x12250);
    ASSERT_TRUE(FindPrinterByModelId(L"Sim Twin 0", 0x2250, found));
    EXPECT_NE(found, L"Sim Twin 0");
}

TEST_F(DriverInfoTest, NormalisedIdentifiersMatchEitherSpelling) {
    pc.InstallInfoLibrary();
    pc.AddFamilyPrinter(L"Sim Norm Four", L"Corvane QN-1", 0x5034);
    pc.AddFamilyPrinter(L"Sim Norm Zero", L"Corvane QN-2", 0x5330);
    pc.AddFamilyPrinter(L"Sim Norm T", L"Corvane QN-3", 0x5434);

    std::wstring found;
    ASSERT_TRUE(FindPrinterByModelId(nullptr, 0x5030, found));
    EXPECT_EQ(found, L"Sim Norm Four");
    ASSERT_TRUE(FindPrinterByModelId(nullptr, 0x5334, found));
    EXPECT_EQ(found, L"Sim Norm Zero");
    // "T" is not among the letters: "0" and "4" stay apart there.
    EXPECT_FALSE(FindPrinterByModelId(nullptr, 0x5430, found));
}

TEST_F(DriverInfoTest, ZeroLow16BitsFindNothing) {
    pc.InstallInfoLibrary();
    pc.AddFamilyPrinter(L"Sim Zero", L"Corvane QZ-1", 0x10000);
    std::wstring found;
    EXPECT_FALSE(FindPrinterByModelId(nullptr, 0x10000, found));
    EXPECT_FALSE(FindPrinterByModelId(nullptr, 0, found));
}

TEST_F(DriverInfoTest, SpecialTapeModeGivesTheSpecialTapeName) {
    pc.InstallInfoLibrary();
    pc.AddFamilyPrinter(L"Sim Tape", L"Corvane QP-1", 0x1234);
    pc.SetDriverValue(L"Corvane QP-1", L"SpecialTape", kSpecialTapeDriverFlag);
    pc.AddFamilyPrinter(L"Sim Plain", L"Corvane QP-2", 0x1235);

    std::wstring found;
    ASSERT_TRUE(FindPrinterByModelId(nullptr, 0x11234, found));
    EXPECT_EQ(found, L"Sim Tape" + ExpectedSpecialTapeSuffix());
    ASSERT_TRUE(FindPrinterByModelId(nullptr, 0x1234, found));
    EXPECT_EQ(found, L"Sim Tape");
    // Without the driver's special-tape mode the plain printer is found.
    ASSERT_TRUE(FindPrinterByModelId(nullptr, 0x11235, found));
    EXPECT_EQ(found, L"Sim Plain");

    EXPECT_EQ(SpecialTapeName(L"Sim Tape" + ExpectedSpecialTapeSuffix()),
              L"Sim Tape" + ExpectedSpecialTapeSuffix());
    EXPECT_EQ(StripSpecialTapeName(L"Sim Tape" + ExpectedSpecialTapeSuffix()), L"Sim Tape");
    EXPECT_EQ(StripSpecialTapeName(L"Sim Tape"), L"");
}

TEST_F(DriverInfoTest, CandidatesLeaveOutHiddenForeignAndSilentPrinters) {
    pc.InstallInfoLibrary();
    pc.AddFamilyPrinter(L"Sim Hidden", L"Corvane QH-1", 0x2301, kPrinterHidden);
    pc.AddFamilyPrinter(L"HP Sim Shared", L"Corvane QH-2", 0x2302);
    pc.AddPrinterQueue(L"Sim Silent", L"Corvane QH-3");
    pc.AddDriver(L"Corvane QH-3");
    pc.AddPrinterQueue(L"Sim Missing Dll", L"Corvane QH-4");
    pc.AddDriver(L"Corvane QH-4", L"CVSCABSENT.dll");
    pc.SetDriverValue(L"Corvane QH-4", L"ModelId", 0x2304);

    std::wstring found;
    EXPECT_FALSE(FindPrinterByModelId(nullptr, 0x2301, found));
    EXPECT_FALSE(FindPrinterByModelId(nullptr, 0x2302, found));
    EXPECT_FALSE(FindPrinterByModelId(nullptr, 0x2304, found));
    // The printer whose library gives no identifier does not stop the search.
    pc.AddFamilyPrinter(L"Sim Speaking", L"Corvane QH-5", 0x2305);
    ASSERT_TRUE(FindPrinterByModelId(nullptr, 0x2305, found));
    EXPECT_EQ(found, L"Sim Speaking");
}

// ---- Per-driver switches -------------------------------------------------------------------------

TEST_F(DriverInfoTest, TransferChangeCmdIsOnWhenNonZero) {
    pc.AddDriver(L"Corvane TC-1");
    pc.SetDriverValue(L"Corvane TC-1", L"TransferChangeCmd", 1);
    pc.AddDriver(L"Corvane TC-2");
    pc.SetDriverValue(L"Corvane TC-2", L"TransferChangeCmd", 0);
    pc.AddDriver(L"Corvane TC-3");
    pc.AddDriver(L"Corvane TC-4", L"CVSCINF.dll", View::Wide64);
    pc.SetDriverValue(L"Corvane TC-4", L"TransferChangeCmd", 2, View::Wide64);

    EXPECT_TRUE(IsTransferChangeCmd(L"Corvane TC-1"));
    EXPECT_FALSE(IsTransferChangeCmd(L"Corvane TC-2"));
    EXPECT_FALSE(IsTransferChangeCmd(L"Corvane TC-3"));
    EXPECT_TRUE(IsTransferChangeCmd(L"Corvane TC-4"));
    EXPECT_FALSE(IsTransferChangeCmd(L"Corvane TC-Absent"));
}

TEST_F(DriverInfoTest, DriverKindFromMiniDriverInboxLibraryAndMobileName) {
    pc.AddDriver(L"Corvane DK-Mini");
    pc.SetDriverValue(L"Corvane DK-Mini", L"MiniDriver", 7);
    pc.AddDriver(L"Corvane DK-Inbox", L"CVSCMI01.dll");
    pc.SetDriverValue(L"Corvane DK-Inbox", L"InboxVersion", 3);
    pc.SetDriverValue(L"Corvane DK-Inbox", L"MiniDriver", 0);
    pc.AddDriver(L"Corvane DK-Inbox0", L"cvscmi02.dll", View::Wide64);
    pc.AddDriver(L"Corvane FL-300", L"CVSCINF.dll");

    CSCPrinter printer;
    EXPECT_EQ(GetDriverKind(L"Corvane DK-Mini", &printer), kDriverKindMini);
    EXPECT_EQ(printer.GetMiniDriver(), 7u);
    EXPECT_EQ(GetDriverKind(L"Corvane DK-Inbox", &printer), kDriverKindInbox);
    EXPECT_EQ(printer.GetInboxVersion(), 3u);
    EXPECT_EQ(GetDriverKind(L"Corvane DK-Inbox0", &printer), kDriverKindInbox);
    EXPECT_EQ(printer.GetInboxVersion(), 0u);
    EXPECT_EQ(GetDriverKind(L"Corvane FL-100", &printer), kDriverKindMobile);
    EXPECT_EQ(GetDriverKind(L"corvane fl-200", nullptr), kDriverKindMobile);
    EXPECT_EQ(GetDriverKind(L"Corvane FL-300", &printer), kDriverKindOther);
    EXPECT_EQ(GetDriverKind(L"Corvane FL", &printer), kDriverKindOther);
    EXPECT_EQ(GetDriverKind(L"Corvane QL-Nothing", &printer), kDriverKindOther);
}

// ---- The printer list ----------------------------------------------------------------------------

TEST_F(DriverInfoTest, ListMakesEachPrinterOnceFromSpoolerAndDriver) {
    pc.InstallInfoLibrary();
    pc.AddFamilyPrinter(L"Sim List One", L"Corvane QL-L1", 0x2401, kPrinterWorkOffline);
    pc.AddPrinterQueue(L"Sim List Port", L"Corvane QL-L1", 0, L"USB001");
    pc.SetDriverValue(L"Corvane QL-L1", L"MiniDriver", 4);
    pc.AddPrinterQueue(L"Sim List Foreign", L"Other Printer");

    CPrinterList list;
    CSCPrinter* byId = list.FindPrinterById(0x2401, L"Sim List One");
    ASSERT_NE(byId, nullptr);
    EXPECT_EQ(byId->GetName(), L"Sim List One");
    EXPECT_EQ(byId->GetDriverName(), L"Corvane QL-L1");
    EXPECT_EQ(byId->GetInfoLibraryName(), SimulatedPC::kInfoLibrary);
    EXPECT_EQ(byId->GetDriverKind(), kDriverKindMini);
    EXPECT_EQ(byId->GetMiniDriver(), 4u);
    EXPECT_EQ(list.FindPrinter(byId->GetName()), byId);
    EXPECT_EQ(list.FindPrinterById(0x2401, L"Sim List One"), byId);
    EXPECT_EQ(list.GetCount(), 1u);

    CSCPrinter* port = list.FindPrinter(L"Sim List Port");
    ASSERT_NE(port, nullptr);
    EXPECT_NE(port, byId);
    EXPECT_EQ(port->GetPortName(), L"USB001");
    EXPECT_TRUE(port->IsOnline());
    EXPECT_FALSE(byId->IsOnline());

    EXPECT_EQ(list.FindPrinter(L"Sim List Foreign"), nullptr);
    EXPECT_EQ(list.FindPrinter(L"Sim List Absent"), nullptr);
    EXPECT_EQ(list.FindPrinterById(0x2499), nullptr);
    EXPECT_EQ(list.GetCount(), 2u);
}

TEST_F(DriverInfoTest, SpecialTapeModeIsASecondEntryOfThePrinter) {
    pc.InstallInfoLibrary();
    pc.AddFamilyPrinter(L"Sim List Tape", L"Corvane QL-L2", 0x2402);
    pc.SetDriverValue(L"Corvane QL-L2", L"SpecialTape", kSpecialTapeDriverFlag | 1);
    pc.AddFamilyPrinter(L"Sim List Plain", L"Corvane QL-L3", 0x2403);

    CPrinterList list;
    CSCPrinter* tape = list.FindPrinterById(0x12402);
    ASSERT_NE(tape, nullptr);
    EXPECT_EQ(tape->GetName(), L"Sim List Tape" + ExpectedSpecialTapeSuffix());
    EXPECT_TRUE(tape->IsSpecialTape());
    EXPECT_EQ(tape->GetDriverName(), L"Corvane QL-L2");
    CSCPrinter* plain = list.FindPrinter(L"Sim List Tape");
    ASSERT_NE(plain, nullptr);
    EXPECT_NE(plain, tape);
    EXPECT_FALSE(plain->IsSpecialTape());
    // A printer without the mode has no special-tape entry.
    EXPECT_EQ(list.FindPrinter(L"Sim List Plain" + ExpectedSpecialTapeSuffix()), nullptr);
    EXPECT_EQ(list.GetCount(), 2u);
}

TEST_F(DriverInfoTest, EditorPrinterIdentifierGivesTheDriverName) {
    pc.InstallInfoLibrary();
    pc.AddFamilyPrinter(L"Sim Editor", L"Corvane QL-E1", 0x5034);

    EXPECT_EQ(FindPrinterDriverById(0x5030), L"Corvane QL-E1");
    EXPECT_EQ(FindPrinterDriverById(0x5099), L"");
    EXPECT_EQ(FindPrinterDriverById(0), L"");
}

}  // namespace
