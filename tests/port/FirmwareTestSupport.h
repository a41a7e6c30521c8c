#pragma once
// What the firmware transfer tests share: firmware files made the way the maker's tool makes
// them, the PC around the simulated printer (its driver's key and information library, a data
// folder for the history), and a user at the screen who answers the transfer's dialogs and
// watches its progress from another thread.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "PortTestSupport.h"
#include "install/UpdateItemRecord.h"
#include "unit/SimulatedPC.h"
#include "unit/TestSupport.h"

namespace firmware_test {

using port_test::Bytes;

inline constexpr wchar_t kDriver[] = L"Corvane SC-200";

struct SFirmware {
    std::string name{};
    std::string spec{};
    std::string version = "2.00";
    std::uint8_t type = 6;
    std::uint32_t dataLength = 1300;
    std::uint8_t headerLength = 128;
    std::uint16_t model = port_test::PrinterModel();
    std::uint8_t seed = 1;
};

// The file's data, as WriteFirmware fills it.
Bytes FirmwareData(const SFirmware& firmware);
// Header and data; the data as long as dataLength says unless a length is given.
std::wstring WriteFirmware(const std::wstring& folder, const SFirmware& firmware,
                           std::size_t actualData = SIZE_MAX);
std::wstring WriteFile(const std::wstring& folder, const std::wstring& name, const Bytes& bytes);

// A row of the main dialog for a file.
SAUItemRecord RowFor(const std::wstring& title, const std::wstring& version,
                     const std::wstring& printer = kDriver);

// The simulator's command log from a mark on.
std::vector<std::string> LogSince(std::size_t mark);
std::size_t LogMark();
// The index of the first line at or after from that begins with the text; npos when none does.
std::size_t FindLine(const std::vector<std::string>& lines, const std::string& prefix, std::size_t from = 0);
int CountLines(const std::vector<std::string>& lines, const std::string& prefix);

struct SUserPlan {
    bool confirm = true;
    int retries = 0;           // times the communication failure dialog is answered with Retry
    int cancelAtPercent = -1;  // clicks Cancel once the transfer shows this much, when it may
};

struct SUserSaw {
    int confirmations = 0;
    int communicationFailures = 0;
    int highestPercent = -1;
    bool cancelEnabledSeen = false;
    bool cancelled = false;
};

// Answers the dialogs of the thread that runs the transfer until it is stopped.
class CUserAtScreen {
  public:
    CUserAtScreen(DWORD uiThread, SUserPlan plan);
    ~CUserAtScreen();
    CUserAtScreen(const CUserAtScreen&) = delete;
    CUserAtScreen& operator=(const CUserAtScreen&) = delete;

    SUserSaw Stop();

  private:
    void Watch();
    void LookAtProgress(HWND dialog);

    DWORD m_uiThread;
    SUserPlan m_plan;
    SUserSaw m_saw;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A transfer test: the driver of the simulated printer known to the PC, a history in a scratch
// data folder, message boxes answered and kept, the trace kept, the simulator's log marked.
class CTransferTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Runs the transfer on this thread while the user answers its dialogs.
    int Transfer(const std::vector<std::wstring>& files, const std::vector<std::wstring>& installNames = {},
                 const std::vector<const SAUItemRecord*>* rows = nullptr, SUserPlan plan = {});
    std::wstring Firmware(const SFirmware& firmware, std::size_t actualData = SIZE_MAX);

    std::vector<testing_support::CapturedMessage> Messages() const { return messages_.Messages(); }
    std::wstring Text(UINT id) const;
    std::vector<std::string> NewLog() const { return LogSince(mark_); }
    std::wstring HistoryShape() const;
    std::wstring HistoryPath() const { return data_ + L"ScUpdater.log"; }
    // The trace lines that end a transfer to one printer, in order.
    std::vector<std::wstring> PrinterOutcomes() const;

    static constexpr UINT kTopMost = MB_TOPMOST | MB_SETFOREGROUND;

    LANGID language_ = 1033;
    SUserSaw saw_;
    std::wstring scratch_;
    std::wstring data_;
    std::size_t mark_ = 0;
    testing_support::MessageBoxCapture messages_{IDOK};
    testing_support::TraceCapture trace_;

  private:
    static std::unique_ptr<testing_support::SimulatedPC>& PC();
};

}  // namespace firmware_test
