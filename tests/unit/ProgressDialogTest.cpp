// The progress and status dialogs as real windows. The transfer progress dialog runs modally on
// the test thread while its work, on the dialog's worker thread, reports progress the way a
// transfer does and looks at the window as the user sees it.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "DialogDriver.h"
#include "TestSupport.h"
#include "common/LangResources.h"
#include "res/firmware_ids.h"
#include "ui/CantCommDialog.h"
#include "ui/DevProgDlg.h"
#include "ui/FirmUpDialog.h"
#include "ui/MessageDialog.h"
#include "ui/TrProgressDlg.h"

namespace {

using namespace testing_support;
using scup::CTrProgressDlg;

constexpr LANGID kEnglish = 1033;
constexpr LANGID kJapanese = 1041;
constexpr LANGID kArabic = 1025;
constexpr wchar_t kLeftToRightMark = L'\x202A';

scup::STrProgressState& State() { return CTrProgressDlg::State(); }

HWND DeviceWindow() {
    scup::CDevProgDlg* device = CTrProgressDlg::Shown().device.load();
    return device ? device->GetSafeHwnd() : nullptr;
}

// Runs the transfer dialog here with the given work; the work gets the dialog's window.
INT_PTR RunTransfer(LANGID language, std::uint32_t total, const std::function<void(HWND)>& work,
                    HWND parent = nullptr) {
    CTrProgressDlg dialog(language, parent);
    State().totalWeight = total;
    dialog.SetWork([&] { work(CTrProgressDlg::Shown().transfer.load()->GetSafeHwnd()); });
    return dialog.DoModal();
}

void StartFile(const std::wstring& name, std::uint32_t share, int cancelEnabled = 1, int rightToLeft = 0) {
    State().SetCurrentName(name);
    State().currentShare = share;
    State().cancelEnabled = cancelEnabled;
    State().rightToLeft = rightToLeft;
}

TEST(TransferProgressCallback, WithoutADialogItSaysStop) {
    State().Reset();
    State().totalWeight = 100;
    EXPECT_EQ(CTrProgressDlg::Progress(10), 0);
}

TEST(TransferProgressCallback, OverallFigureTruncatesAtEachStepInSixtyFourBits) {
    EXPECT_EQ(CTrProgressDlg::OverallPercentage(100, 50, 50, 100), 100u);
    EXPECT_EQ(CTrProgressDlg::OverallPercentage(33, 10, 0, 30), 10u);  // 3.3 -> 3, then 300 / 30
    // 50 % of a 200 MB file: the products pass 2^32 on the way.
    EXPECT_EQ(CTrProgressDlg::OverallPercentage(50, 200000000, 0, 200000000), 50u);
    EXPECT_EQ(CTrProgressDlg::OverallPercentage(99, 3000000000u, 1000000000u, 4000000000u), 99u);
}

TEST(TransferDisplayName, TokensTurnBackAndLongNamesAreCut) {
    EXPECT_EQ(CTrProgressDlg::DisplayName(L"A{cl}B", false, false), L"A:B");
    EXPECT_EQ(CTrProgressDlg::DisplayName(L"x{dm}y", false, false), L"xy");
    EXPECT_EQ(CTrProgressDlg::DisplayName(L"{lt}{mt}{yn}{sl}{as}{qt}{pp}{dq}", false, false), L"<>\\/*?|\"");
    const std::wstring forty = L"0123456789ABCDEFGHIJ0123456789ABCDEFGHIJ";
    EXPECT_EQ(CTrProgressDlg::DisplayName(forty, false, false), forty.substr(0, 32) + L"...");
    EXPECT_EQ(CTrProgressDlg::DisplayName(forty.substr(0, 32), false, false), forty.substr(0, 32));
    // A token counts as the character it stands for.
    EXPECT_EQ(CTrProgressDlg::DisplayName(forty.substr(0, 30) + L"{cl}{cl}", false, false),
              forty.substr(0, 30) + L"::");
    EXPECT_EQ(CTrProgressDlg::DisplayName(L"FW", true, false), std::wstring(1, kLeftToRightMark) + L"FW");
    EXPECT_EQ(CTrProgressDlg::DisplayName(L"FW", true, true), L"FW");
}

class TransferDialogTest : public ::testing::Test {
  protected:
    void TearDown() override { State().Reset(); }
};

TEST_F(TransferDialogTest, ShowsTheRunsShareAndHandsOverToTheDeviceDialogAtHundred) {
    HWND device = nullptr;
    const INT_PTR result = RunTransfer(kEnglish, 100, [&](HWND hwnd) {
        device = DeviceWindow();
        ASSERT_NE(device, nullptr);
        EXPECT_FALSE(IsShown(device)) << "the device dialog waits hidden";
        EXPECT_EQ(TextOf(hwnd), scup::AppTitle(kEnglish));

        StartFile(L"FIRST.pd3", 50);
        EXPECT_EQ(CTrProgressDlg::Progress(60), 1);
        EXPECT_EQ(TextOf(hwnd, IDC_TR_NAME), L"FIRST.pd3");
        EXPECT_EQ(TextOf(hwnd, IDC_TR_PERCENT), L"30 %");
        EXPECT_EQ(ProgressPosition(hwnd, IDC_TR_PROGRESS), 30);
        EXPECT_EQ(State().lastPercentage.load(), 30);

        State().doneWeight += 50;
        StartFile(L"SECOND.pd3", 50);
        EXPECT_EQ(CTrProgressDlg::Progress(100), 1);
        EXPECT_EQ(ProgressPosition(hwnd, IDC_TR_PROGRESS), 100);
        EXPECT_EQ(TextOf(hwnd, IDC_TR_PERCENT), L"100 %");
        EXPECT_FALSE(IsShown(hwnd)) << "the transfer dialog steps back at 100 %";
        EXPECT_TRUE(IsShown(device));

        // While the printer stores the files, reports change nothing and never stop the work.
        State().cancelRequested = 1;
        EXPECT_EQ(CTrProgressDlg::Progress(10), 1);
        EXPECT_EQ(ProgressPosition(hwnd, IDC_TR_PROGRESS), 100);
        EXPECT_TRUE(IsShown(device));
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_FALSE(IsWindow(device)) << "the device dialog goes with the transfer";
    EXPECT_EQ(CTrProgressDlg::Shown().transfer.load(), nullptr);
}

TEST_F(TransferDialogTest, APercentageAboveHundredStopsWithoutAChange) {
    RunTransfer(kEnglish, 1000, [](HWND hwnd) {
        StartFile(L"FIRM", 1000);
        ASSERT_EQ(CTrProgressDlg::Progress(42), 1);
        EXPECT_EQ(CTrProgressDlg::Progress(101), 0);
        EXPECT_EQ(CTrProgressDlg::Progress(-1), 0);
        EXPECT_EQ(TextOf(hwnd, IDC_TR_PERCENT), L"42 %");
        EXPECT_EQ(ProgressPosition(hwnd, IDC_TR_PROGRESS), 42);
        EXPECT_TRUE(IsShown(hwnd));
    });
}

TEST_F(TransferDialogTest, NothingToWeighAgainstSaysStop) {
    RunTransfer(kEnglish, 0, [](HWND hwnd) {
        StartFile(L"FIRM", 10);
        EXPECT_EQ(CTrProgressDlg::Progress(50), 0);
        EXPECT_EQ(TextOf(hwnd, IDC_TR_PERCENT), L"");
    });
}

TEST_F(TransferDialogTest, NamesShowAsTheyRead) {
    RunTransfer(kEnglish, 100, [](HWND hwnd) {
        StartFile(L"P{cl}FIRM{dm}A", 100);
        CTrProgressDlg::Progress(1);
        EXPECT_EQ(TextOf(hwnd, IDC_TR_NAME), L"P:FIRMA");
        StartFile(L"0123456789012345678901234567890123456789", 100);
        CTrProgressDlg::Progress(2);
        EXPECT_EQ(TextOf(hwnd, IDC_TR_NAME), L"01234567890123456789012345678901...");
        // A right-to-left title in a left-to-right dialog gets the mark too.
        StartFile(L"\x0628\x0631\x0646\x0627\x0645\x062C", 100, 1, 1);
        CTrProgressDlg::Progress(3);
        EXPECT_EQ(TextOf(hwnd, IDC_TR_NAME)[0], kLeftToRightMark);
    });
    RunTransfer(kArabic, 100, [](HWND hwnd) {
        EXPECT_TRUE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
        StartFile(L"FIRMWAREA.pd3", 100);
        CTrProgressDlg::Progress(5);
        EXPECT_EQ(TextOf(hwnd, IDC_TR_NAME), std::wstring(1, kLeftToRightMark) + L"FIRMWAREA.pd3");
        StartFile(L"\x0628\x0631\x0646\x0627\x0645\x062C", 100, 1, 1);
        CTrProgressDlg::Progress(6);
        EXPECT_EQ(TextOf(hwnd, IDC_TR_NAME), L"\x0628\x0631\x0646\x0627\x0645\x062C");
    });
}

// The fault that the 32-bit figure had: above about 42 MB it wrapped and ran backwards.
TEST_F(TransferDialogTest, ALargeFileRisesSteadily) {
    constexpr std::uint32_t kShare = 300u * 1024 * 1024;
    RunTransfer(kEnglish, kShare + 1000, [](HWND hwnd) {
        StartFile(L"BIGFIRM", kShare);
        int previous = 0;
        for (int percent = 0; percent <= 100; percent += 5) {
            CTrProgressDlg::Progress(percent);
            const int shown = ProgressPosition(hwnd, IDC_TR_PROGRESS);
            EXPECT_GE(shown, previous) << "at " << percent << " %";
            EXPECT_LE(shown - percent, 0);
            previous = shown;
        }
        EXPECT_EQ(previous, 99);
    });
}

TEST_F(TransferDialogTest, CancelOnlyAsksAndTheDialogWaitsForTheWork) {
    bool openAfterCancel = false;
    HWND window = nullptr;
    const INT_PTR result = RunTransfer(kEnglish, 100, [&](HWND hwnd) {
        window = hwnd;
        StartFile(L"FIRM", 100, 1);
        ASSERT_EQ(CTrProgressDlg::Progress(10), 1);
        ASSERT_TRUE(IsEnabled(hwnd, IDCANCEL));
        ClickButton(hwnd, IDCANCEL);
        EXPECT_EQ(State().cancelRequested.load(), 1);
        EXPECT_EQ(CTrProgressDlg::Progress(20), 0) << "the next report tells the work to stop";
        Sleep(300);
        openAfterCancel = IsShown(hwnd);
    });
    EXPECT_TRUE(openAfterCancel) << "Cancel closed the dialog before the work ended";
    EXPECT_EQ(result, IDOK);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(TransferDialogTest, AFileThatMayNotBeCancelledIgnoresCancelEscapeAndEnter) {
    RunTransfer(kEnglish, 100, [](HWND hwnd) {
        StartFile(L"FIRM", 100, 0);
        ASSERT_EQ(CTrProgressDlg::Progress(10), 1);
        EXPECT_FALSE(IsEnabled(hwnd, IDCANCEL));
        SendCommand(hwnd, IDCANCEL);  // Escape, or the close box
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
        EXPECT_EQ(CTrProgressDlg::Progress(20), 1);
        SendCommand(hwnd, IDOK);  // Enter
        Sleep(100);
        EXPECT_TRUE(IsShown(hwnd));
        // The next file may be cancelled again.
        StartFile(L"SMALL", 100, 1);
        CTrProgressDlg::Progress(30);
        EXPECT_TRUE(IsEnabled(hwnd, IDCANCEL));
    });
}

TEST_F(TransferDialogTest, WithoutAVisibleOwnerItHasItsOwnTaskBarButton) {
    RunTransfer(kJapanese, 100, [](HWND hwnd) {
        EXPECT_TRUE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
        EXPECT_NE(TextOf(hwnd, IDC_TR_INTRO), L"") << "the Japanese template has its texts";
    });
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                 nullptr, nullptr, nullptr);
    RunTransfer(
        kEnglish, 100, [](HWND hwnd) { EXPECT_FALSE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW); },
        owner);
    DestroyWindow(owner);
}

class DeviceDialogTest : public ::testing::Test {};

TEST_F(DeviceDialogTest, MadeHiddenCentredOverItsOwnerAndDeafToCancel) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 100, 80, 600, 400, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    {
        scup::CDevProgDlg device(kEnglish, owner);
        ASSERT_TRUE(device.Create());
        HWND hwnd = device.GetSafeHwnd();
        EXPECT_FALSE(IsWindowVisible(hwnd));
        EXPECT_EQ(TextOf(hwnd), scup::AppTitle(kEnglish));
        RECT own{}, over{};
        GetWindowRect(hwnd, &own);
        GetWindowRect(owner, &over);
        EXPECT_NEAR((own.left + own.right) / 2, (over.left + over.right) / 2, 1);
        EXPECT_NEAR((own.top + own.bottom) / 2, (over.top + over.bottom) / 2, 1);
        ShowWindow(hwnd, SW_SHOW);
        SendCommand(hwnd, IDCANCEL);
        SendCommand(hwnd, IDOK);
        PumpFor(50);
        EXPECT_TRUE(IsShown(hwnd)) << "nothing can be cancelled while the printer stores its firmware";
    }
    DestroyWindow(owner);
}

class FirmwareDialogsTest : public ::testing::Test {
  protected:
    // Runs the dialog here while the driver acts on it from another thread.
    template <typename Dialog>
    INT_PTR RunDriven(Dialog& dialog, int knownControl, const std::function<void(HWND)>& drive) {
        const DWORD thread = GetCurrentThreadId();
        std::thread driver([&] {
            HWND hwnd = WaitForThreadDialog(thread, knownControl);
            if (!hwnd) {
                ADD_FAILURE() << "the dialog never appeared";
                return;
            }
            drive(hwnd);
            if (!WaitFor([&] { return !IsWindow(hwnd); })) {
                ADD_FAILURE() << "the dialog stayed open";
                PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
            }
        });
        const INT_PTR result = dialog.DoModal();
        driver.join();
        return result;
    }
};

TEST_F(FirmwareDialogsTest, ConfirmationShowsItsPictureAndBoldHeadingAndConfirmsWithStart) {
    scup::CFirmUpDialog dialog(kEnglish);
    HICON shown = nullptr;
    const INT_PTR result = RunDriven(dialog, IDC_FIRM_UPDATE_PICTURE, [&](HWND hwnd) {
        shown =
            reinterpret_cast<HICON>(SendDlgItemMessageW(hwnd, IDC_FIRM_UPDATE_PICTURE, STM_GETICON, 0, 0));
        EXPECT_NE(shown, nullptr);
        LOGFONTW heading{}, body{};
        GetObjectW(
            reinterpret_cast<HFONT>(SendDlgItemMessageW(hwnd, IDC_FIRM_UPDATE_HEADING, WM_GETFONT, 0, 0)),
            sizeof heading, &heading);
        GetObjectW(reinterpret_cast<HFONT>(SendDlgItemMessageW(hwnd, IDC_FIRM_UPDATE_TEXT, WM_GETFONT, 0, 0)),
                   sizeof body, &body);
        EXPECT_EQ(heading.lfWeight, FW_BOLD);
        EXPECT_NE(body.lfWeight, FW_BOLD);
        ClickButton(hwnd, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    ICONINFO info{};
    EXPECT_FALSE(shown && GetIconInfo(shown, &info)) << "the icon outlived the dialog";
}

TEST_F(FirmwareDialogsTest, ConfirmationCanBeDeclinedInEveryLanguage) {
    for (LANGID language : {kEnglish, kJapanese, kArabic}) {
        scup::CFirmUpDialog dialog(language);
        const INT_PTR result = RunDriven(dialog, IDC_FIRM_UPDATE_PICTURE, [&](HWND hwnd) {
            EXPECT_NE(TextOf(hwnd, IDC_FIRM_UPDATE_HEADING), L"");
            EXPECT_EQ((GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0, language == kArabic);
            ClickButton(hwnd, IDCANCEL);
        });
        EXPECT_EQ(result, IDCANCEL) << language;
    }
}

TEST_F(FirmwareDialogsTest, CommunicationFailureOffersRetry) {
    scup::CCantCommDialog retry(kEnglish);
    EXPECT_EQ(RunDriven(retry, IDC_CANT_COMM_TEXT, [](HWND hwnd) { ClickButton(hwnd, IDOK); }), 1);
    scup::CCantCommDialog stop(kJapanese);
    EXPECT_EQ(RunDriven(stop, IDC_CANT_COMM_TEXT, [](HWND hwnd) { ClickButton(hwnd, IDCANCEL); }), IDCANCEL);
}

class StatusPanelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        panel_ = scup::CMessageDialog::CreatePanel(kEnglish, nullptr);
        ASSERT_NE(panel_, nullptr);
        hwnd_ = panel_->GetSafeHwnd();
    }
    void TearDown() override { scup::CMessageDialog::DestroyPanel(); }

    // Runs the calls on another thread, as the update thread makes them, while this thread serves
    // the panel's window.
    void FromOtherThread(const std::function<void()>& calls) {
        bool done = false;
        std::thread worker([&] {
            calls();
            done = true;
        });
        EXPECT_TRUE(PumpUntil([&] { return done; }));
        worker.join();
    }
    bool BarIsMarquee() const {
        return (GetWindowLongW(GetDlgItem(hwnd_, IDC_MSG_PROGRESS), GWL_STYLE) & PBS_MARQUEE) != 0;
    }

    std::shared_ptr<scup::CMessageDialog> panel_;
    HWND hwnd_ = nullptr;
};

TEST_F(StatusPanelTest, StartsHiddenWithItsCancelHiddenAndOff) {
    EXPECT_EQ(scup::CMessageDialog::Panel(), panel_);
    EXPECT_EQ(scup::CMessageDialog::CreatePanel(kEnglish, nullptr), panel_) << "one panel per process";
    EXPECT_FALSE(IsWindowVisible(hwnd_));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(hwnd_, IDCANCEL)));
    EXPECT_FALSE(IsEnabled(hwnd_, IDCANCEL));
    EXPECT_FALSE(BarIsMarquee());
    EXPECT_FALSE(panel_->IsMarquee());
    EXPECT_EQ(TextOf(hwnd_), scup::AppTitle(kEnglish));
}

TEST_F(StatusPanelTest, TwiceIndeterminateThenThirtyLeavesAPlainBarAtThirty) {
    FromOtherThread([&] {
        panel_->BeginIndeterminate();
        EXPECT_TRUE(panel_->IsMarquee());
        EXPECT_TRUE(BarIsMarquee());
        panel_->BeginIndeterminate();
        panel_->SetProgress(30);
        panel_->SetItemText(IDC_MSG_LINE, L"Downloading");
        panel_->SetTitle(L"Status");
    });
    EXPECT_FALSE(panel_->IsMarquee());
    EXPECT_FALSE(BarIsMarquee());
    EXPECT_EQ(ProgressPosition(hwnd_, IDC_MSG_PROGRESS), 30);
    EXPECT_EQ(TextOf(hwnd_, IDC_MSG_LINE), L"Downloading");
    EXPECT_EQ(TextOf(hwnd_), L"Status");

    FromOtherThread([&] {
        panel_->SetProgress(-1);
        panel_->SetProgress(250);
    });
    EXPECT_EQ(ProgressPosition(hwnd_, IDC_MSG_PROGRESS), 100) << "a value beyond the range is held to it";
}

// The update thread may still hold the panel when the main dialog closes and takes it away: the
// window goes at once, and what the thread does with its copy afterwards reaches nothing.
TEST_F(StatusPanelTest, APanelHeldByAnotherThreadLosesItsWindowWhenTakenAwayAndIgnoresCalls) {
    const std::shared_ptr<scup::CMessageDialog> held = scup::CMessageDialog::Panel();
    ASSERT_EQ(held, panel_);
    scup::CMessageDialog::DestroyPanel();
    EXPECT_EQ(scup::CMessageDialog::Panel(), nullptr);
    EXPECT_FALSE(IsWindow(hwnd_)) << "the window goes with DestroyPanel, not with the last holder";
    EXPECT_EQ(held->GetSafeHwnd(), nullptr);
    FromOtherThread([&] {
        held->BeginIndeterminate();
        held->SetProgress(40);
        held->SetItemText(IDC_MSG_LINE, L"Downloading");
        held->SetTitle(L"Status");
    });
    EXPECT_FALSE(held->IsMarquee());
}

TEST_F(StatusPanelTest, CancelSignalsTheEventAndThePanelStaysOpen) {
    scup::UniqueHandle cancel(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, scup::kCancelEventName));
    ASSERT_TRUE(cancel);
    ResetEvent(cancel.get());
    ShowWindow(hwnd_, SW_SHOW);
    ShowWindow(GetDlgItem(hwnd_, IDCANCEL), SW_SHOW);
    EnableWindow(GetDlgItem(hwnd_, IDCANCEL), TRUE);
    ClickButton(hwnd_, IDCANCEL);
    EXPECT_EQ(WaitForSingleObject(cancel.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(cancel.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the event resets itself";
    SendCommand(hwnd_, IDCANCEL);  // Escape
    EXPECT_EQ(WaitForSingleObject(cancel.get(), 0), WAIT_OBJECT_0);
    PumpFor(50);
    EXPECT_TRUE(IsShown(hwnd_));
}

}  // namespace
