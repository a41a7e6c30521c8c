// scfilo.dll as the program sees it: its export table, and calls that must fail cleanly.
#include <gtest/gtest.h>

#include "PortTestSupport.h"
#include "common/Handles.h"
#include "scfilo.h"

namespace port_test {
namespace {

TEST(Exports, SixFunctionsByOrdinalOnly) {
    scup::UniqueModule dll(LoadLibraryW(L"scfilo.dll"));
    ASSERT_TRUE(dll);
    for (WORD ordinal = 3; ordinal <= 8; ++ordinal)
        EXPECT_NE(GetProcAddress(dll.get(), MAKEINTRESOURCEA(ordinal)), nullptr) << ordinal;
    for (WORD ordinal : {1, 2, 9})
        EXPECT_EQ(GetProcAddress(dll.get(), MAKEINTRESOURCEA(ordinal)), nullptr) << ordinal;
    EXPECT_EQ(GetProcAddress(dll.get(), "ScFiloOpenPort"), nullptr);
    // This test itself imports by ordinal, so these are the very functions it calls.
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(dll.get(), MAKEINTRESOURCEA(3))),
              reinterpret_cast<void*>(&ScFiloOpenPort));
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(dll.get(), MAKEINTRESOURCEA(8))),
              reinterpret_cast<void*>(&ScFiloCloseDataChannel));
}

// Opening a printer the spooler does not know leaves no port open.
void CloseAnyPort() { ScFiloOpenPort("ScFilo no such printer", nullptr); }

TEST(NoPort, CallsFailWithoutAnOpenPort) {
    CloseAnyPort();
    BYTE buffer[32];
    DWORD count = 99;
    EXPECT_FALSE(ScFiloWrite(buffer, 4, &count, 100));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    count = 99;
    EXPECT_FALSE(ScFiloRead(buffer, sizeof buffer, &count, 100));
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(ScFiloClearChannel());
    EXPECT_FALSE(ScFiloCloseDataChannel());
}

TEST(NoPort, BadPrinterNamesAreRefused) {
    DWORD info[3] = {};
    EXPECT_FALSE(ScFiloOpenPort(nullptr, info));
    EXPECT_FALSE(ScFiloOpenPort("", info));
    std::string unterminated(300, 'P');  // longer than any printer name may be
    EXPECT_FALSE(ScFiloOpenPort(unterminated.c_str(), info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    EXPECT_FALSE(ScFiloOpenPort("ScFilo no such printer", info));
    EXPECT_EQ(info[0], 0u);
    EXPECT_EQ(ScFiloOpenDataChannel(nullptr, nullptr, 100), nullptr);
    EXPECT_EQ(ScFiloOpenDataChannel("ScFilo no such printer", nullptr, 100), nullptr);
}

TEST(NoPort, PrintersOnPortsThatCannotBeDrivenFailInTime) {
    struct Case {
        std::string printer;
        DWORD error;
    };
    for (const Case& c : {Case{UnsupportedPrinterName(), ERROR_NOT_SUPPORTED}, Case{AbsentPrinterName(), 0},
                          Case{UsbPrinterName(), 0}}) {
        ULONGLONG start = Now();
        EXPECT_FALSE(ScFiloOpenPort(c.printer.c_str(), nullptr)) << c.printer;
        if (c.error) {
            EXPECT_EQ(GetLastError(), c.error) << c.printer;
        }
        EXPECT_LT(Now() - start, 3000u) << c.printer;
        BYTE b = 0;
        DWORD n = 0;
        EXPECT_FALSE(ScFiloWrite(&b, 1, &n, 100)) << "no port is left open by a failed opening";
    }
}

TEST(Exports, OpenByPrinterNameReportsThePort) {
    DWORD info[3] = {};
    ASSERT_TRUE(ScFiloOpenPort(PrinterName().c_str(), info)) << GetLastError();
    EXPECT_EQ(info[kScFiloInfoKind], static_cast<DWORD>(kScFiloSerialPort));
    EXPECT_EQ(info[kScFiloInfoNumber], ComNumber());
    EXPECT_EQ(info[kScFiloInfoBaudRate], 115200u);

    SetEnvironmentVariableW(L"SCFILO_BAUD_RATE", L"57600");
    ASSERT_TRUE(ScFiloOpenPort(PrinterName().c_str(), info));
    SetEnvironmentVariableW(L"SCFILO_BAUD_RATE", nullptr);
    EXPECT_EQ(info[kScFiloInfoBaudRate], 57600u);

    // The program zeroes the values but may not pass them at all.
    EXPECT_TRUE(ScFiloOpenPort(PrinterName().c_str(), nullptr));
    BYTE b = 0;
    DWORD n = 5;
    EXPECT_FALSE(ScFiloWrite(nullptr, 4, &n, 100));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(ScFiloWrite(&b, 0, &n, 100));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(ScFiloOpenDataChannel(PrinterName().c_str(), &b, 100), nullptr) << "reserved must be null";
}

}  // namespace
}  // namespace port_test
