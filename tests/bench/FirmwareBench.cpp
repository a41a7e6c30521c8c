// Sends one large firmware file to the simulated printer the way the program does (confirmation,
// transfer dialog, worker, history entry) and prints how close the data phase came to the line
// rate and how long the printer's last status and the history entry took after the last byte.
// Run through tests/bench/firmware_bench.sh, which starts the simulator at each line rate and
// hands the rate over as "--gtest_filter=BAUD" (0: as fast as the line goes).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "common/AUXMLParser.h"
#include "common/AppFiles.h"
#include "common/Handles.h"
#include "common/Profile.h"
#include "common/Resources.h"
#include "common/Trace.h"
#include "install/FirmTransfer.h"
#include "install/TransferEnvironment.h"
#include "local/AUHistoryLog.h"
#include "port/FirmwareTestSupport.h"
#include "ui/InstallDialogs.h"
#include "unit/SimulatedPC.h"
#include "unit/TestSupport.h"

namespace {

constexpr std::uint32_t kFileSize = 2 * 1024 * 1024;

class CStopwatch {
  public:
    CStopwatch() {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
    }
    double Seconds() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency_.QuadPart);
    }

  private:
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
};

// When the trace lines that mark the phases of a download came.
struct SPhaseTimes {
    std::mutex mutex;
    double accepted = -1, lastByte = -1, history = -1;
};

unsigned long RateFromArguments(int argc, wchar_t** argv) {
    const std::wstring prefix = L"--gtest_filter=";
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg.rfind(prefix, 0) == 0) return std::wcstoul(arg.c_str() + prefix.size(), nullptr, 10);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const unsigned long baud = RateFromArguments(argc, argv);
    scup::UniqueModule resources(LoadLibraryW((testing_support::BinFolder() + L"ScUpRes.dll").c_str()));
    if (!resources) {
        std::fprintf(stderr, "ScUpRes.dll not found beside the benchmark\n");
        return 2;
    }
    scup::SetResourceModule(resources.get());
    scup::SetAppIdentity({L"Corvane Industries, Ltd.", L"ScUpdaterBench"});
    scup::ComInit com;

    testing_support::SimulatedPC pc;
    pc.AddDriver(firmware_test::kDriver);
    pc.SetDriverValue(firmware_test::kDriver, L"ModelId", port_test::PrinterModel());
    pc.InstallInfoLibrary();
    const std::wstring scratch = testing_support::MakeScratchFolder(L"bench");
    const std::wstring data = scratch + L"\\data\\";
    CAUXMLParser::SetDataFolderSource([&] { return data; });
    InitHistoryLog();
    SetTransferEnvironment({[] { return LANGID{1033}; }, [] { return LCID{1033}; }});
    SetInstallDialogs(scup::StandardInstallDialogs());

    const firmware_test::SFirmware firmware{
        .name = "BENCHFW", .spec = "", .type = 4, .dataLength = kFileSize};
    const std::wstring path = firmware_test::WriteFirmware(scratch, firmware);
    SAUItemRecord row = firmware_test::RowFor(L"Benchmark firmware", L"2.00");
    const std::vector<const SAUItemRecord*> rows{&row};

    CStopwatch clock;
    SPhaseTimes times;
    scup::SetTraceSink([&](const std::wstring& line) {
        std::lock_guard lock(times.mutex);
        if (line.rfind(L"Success: download of ", 0) == 0) times.accepted = clock.Seconds();
        if (line == L"Success: last data byte sent") times.lastByte = clock.Seconds();
        if (line.rfind(L"Success: history entry for ", 0) == 0) times.history = clock.Seconds();
    });
    int result = -1;
    {
        testing_support::MessageBoxCapture messages(IDOK);
        firmware_test::CUserAtScreen user(GetCurrentThreadId(), {});
        result = TransferFirmware(firmware_test::kDriver, {}, {path}, &rows);
    }
    scup::SetTraceSink({});
    CloseHistoryLog();
    CAUXMLParser::ReleaseHistoryDocument();
    CAUXMLParser::SetDataFolderSource({});
    scup::RemoveFolder(scratch);

    if (result != kFirmTransferSent || times.accepted < 0 || times.lastByte < 0 || times.history < 0) {
        std::printf("firmware benchmark: the transfer failed (result %d, code %d)\n", result,
                    LastTransferResult());
        return 1;
    }
    const double dataSeconds = times.lastByte - times.accepted;
    const double bytesPerSecond = kFileSize / dataSeconds;
    std::printf("firmware transfer of %u bytes, line rate %s\n", kFileSize,
                baud ? (std::to_string(baud) + " baud (" + std::to_string(baud / 10) + " bytes/s)").c_str()
                     : "unlimited");
    std::printf("  data phase: %.2f s, %.0f bytes/s", dataSeconds, bytesPerSecond);
    if (baud) std::printf(" = %.1f %% of the line rate", 100.0 * bytesPerSecond / (baud / 10.0));
    std::printf("\n  last data byte to history entry: %.3f s\n", times.history - times.lastByte);
    return 0;
}
