#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "DialogDriver.h"
#include "TestSupport.h"
#include "app/StartDialog.h"
#include "common/Handles.h"
#include "common/LangResources.h"
#include "common/Profile.h"
#include "res/resource_ids.h"
#include "ui/AltMessageBox.h"
#include "ui/PrinterSelectDialog.h"

namespace {

using namespace testing_support;

bool ExitEventIsSet() {
    scup::UniqueHandle exit(OpenEventW(SYNCHRONIZE, FALSE, L"EXIT_EVENT"));
    return exit && WaitForSingleObject(exit.get(), 0) == WAIT_OBJECT_0;
}

void ResetExitEvent() {
    scup::UniqueHandle exit(CreateEventW(nullptr, TRUE, FALSE, L"EXIT_EVENT"));
    ResetEvent(exit.get());
}

class StartDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        exitEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, L"EXIT_EVENT"));
        ResetExitEvent();
    }
    // Runs the dialog modally on this thread while the driver acts on it from another.
    INT_PTR RunWithDriver(CStartDialog& dialog, const std::function<void(HWND)>& drive) {
        const DWORD uiThread = GetCurrentThreadId();
        std::thread driver([&] {
            HWND hwnd = WaitForAnyThreadDialog(uiThread);
            if (!hwnd) {
                ADD_FAILURE() << "the start dialog never appeared";
                return;
            }
            drive(hwnd);
        });
        INT_PTR result = dialog.DoModal();
        driver.join();
        return result;
    }
    scup::UniqueHandle exitEvent_;
};

std::wstring ControlText(HWND dialog, int id) {
    wchar_t text[256] = {};
    GetDlgItemTextW(dialog, id, text, 256);
    return text;
}

TEST_F(StartDialogTest, PressesDoNothingWhileTheThreadIsBusyAndTheDialogSaysItIsConnecting) {
    CStartDialog dialog(1033);
    dialog.m_bIdle = 0;
    INT_PTR result = RunWithDriver(dialog, [&](HWND hwnd) {
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hwnd, IDC_START_FIRMWARE)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hwnd, IDC_START_SOFTWARE)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(hwnd, IDCANCEL))) << "the user can always leave";
        EXPECT_EQ(ControlText(hwnd, IDC_START_STATUS), scup::LoadLangString(IDS_START_CONNECTING, 1033));
        SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_START_FIRMWARE, BN_CLICKED), 0);
        SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_START_SOFTWARE, BN_CLICKED), 0);
        EXPECT_TRUE(IsWindow(hwnd));

        scup::SetReadyFlag(dialog.m_bIdle, hwnd, 1);
        EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(GetDlgItem(hwnd, IDC_START_FIRMWARE)) != FALSE; }));
        EXPECT_EQ(ControlText(hwnd, IDC_START_STATUS), L"");
        SendMessageW(GetDlgItem(hwnd, IDC_START_FIRMWARE), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(result, CStartDialog::kResultFirmware);
    EXPECT_FALSE(ExitEventIsSet());
}

// The pixels of one control's place as the dialog shows them now, read from the window's own
// surface rather than painted afresh.
std::vector<COLORREF> ShownPixels(HWND dialog, int id) {
    RECT rect{};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    std::vector<COLORREF> pixels;
    HDC dc = GetDC(dialog);
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x) pixels.push_back(GetPixel(dc, x, y));
    ReleaseDC(dialog, dc);
    return pixels;
}

// The status text is drawn over the dialog's band without a background of its own: once the
// program is ready, "Connecting..." must be gone from the screen, not only from the control.
TEST_F(StartDialogTest, TheConnectingTextIsWipedFromTheScreenWhenTheProgramIsReady) {
    CStartDialog dialog(1033);
    dialog.m_bIdle = 0;
    RunWithDriver(dialog, [&](HWND hwnd) {
        UpdateWindow(hwnd);
        const std::vector<COLORREF> connecting = ShownPixels(hwnd, IDC_START_STATUS);
        scup::SetReadyFlag(dialog.m_bIdle, hwnd, 1);
        EXPECT_TRUE(WaitFor([&] { return ControlText(hwnd, IDC_START_STATUS).empty(); }));
        UpdateWindow(hwnd);
        const std::vector<COLORREF> ready = ShownPixels(hwnd, IDC_START_STATUS);
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        const std::vector<COLORREF> repainted = ShownPixels(hwnd, IDC_START_STATUS);
        EXPECT_NE(connecting, repainted) << "the text was never on the screen";
        EXPECT_EQ(ready, repainted) << "the old text stayed on the screen";
        SendMessageW(GetDlgItem(hwnd, IDCANCEL), BM_CLICK, 0, 0);
    });
}

// The exit event ends the update thread's wait for a server that does not answer.
TEST_F(StartDialogTest, ClosingWhileTheThreadIsBusyLeavesAndSetsTheExitEvent) {
    CStartDialog dialog(1033);
    dialog.m_bIdle = 0;
    INT_PTR result =
        RunWithDriver(dialog, [](HWND hwnd) { SendMessageW(GetDlgItem(hwnd, IDCANCEL), BM_CLICK, 0, 0); });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(ExitEventIsSet());
}

TEST_F(StartDialogTest, EnterChoosesTheFocusedWay) {
    for (auto [control, expected] : {std::pair{IDC_START_SOFTWARE, CStartDialog::kResultSoftware},
                                     std::pair{IDC_START_FIRMWARE, CStartDialog::kResultFirmware}}) {
        CStartDialog dialog(1033);
        INT_PTR result = RunWithDriver(dialog, [&](HWND hwnd) {
            HWND button = GetDlgItem(hwnd, control);
            PostMessageW(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(button), TRUE);
            Sleep(100);
            PostMessageW(button, WM_KEYDOWN, VK_RETURN, 0);
            PostMessageW(button, WM_KEYUP, VK_RETURN, 0);
        });
        EXPECT_EQ(result, expected) << control;
    }
}

TEST_F(StartDialogTest, ClosingWhenReadySetsTheExitEvent) {
    CStartDialog dialog(1033);
    INT_PTR result = RunWithDriver(dialog, [](HWND hwnd) { PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0); });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(ExitEventIsSet());
}

TEST_F(StartDialogTest, ShowsTheLanguageTextsMarksItsWindowAndRemembersWhereItWas) {
    CStartDialog dialog(1041);
    dialog.SetPosition(40, 30);
    INT_PTR result = RunWithDriver(dialog, [&](HWND hwnd) {
        wchar_t text[512] = {};
        GetDlgItemTextW(hwnd, IDC_START_INTRO, text, 512);
        EXPECT_EQ(std::wstring(text), scup::LoadLangString(IDS_START_INTRO, 1041));
        EXPECT_NE(GetPropW(hwnd, scup::kInstanceWindowProperty), nullptr);

        LOGFONTW title{}, body{};
        GetObjectW(
            reinterpret_cast<HFONT>(SendDlgItemMessageW(hwnd, IDC_START_FIRMWARE_TITLE, WM_GETFONT, 0, 0)),
            sizeof title, &title);
        GetObjectW(
            reinterpret_cast<HFONT>(SendDlgItemMessageW(hwnd, IDC_START_FIRMWARE_TEXT, WM_GETFONT, 0, 0)),
            sizeof body, &body);
        EXPECT_EQ(title.lfWeight, FW_BOLD);
        EXPECT_NE(body.lfWeight, FW_BOLD);

        RECT rect;
        GetWindowRect(hwnd, &rect);
        EXPECT_EQ(rect.left, 40);
        EXPECT_EQ(rect.top, 30);
        SetWindowPos(hwnd, nullptr, 120, 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dialog.PositionX(), 120);
    EXPECT_EQ(dialog.PositionY(), 90);
}

TEST_F(StartDialogTest, ArabicWindowIsMirrored) {
    CStartDialog dialog(1025);
    RunWithDriver(dialog, [](HWND hwnd) {
        EXPECT_TRUE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
        EXPECT_TRUE(GetWindowLongW(GetDlgItem(hwnd, IDC_START_INTRO), GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
        // The banner's lettering must not come out backwards.
        EXPECT_FALSE(GetWindowLongW(GetDlgItem(hwnd, IDC_START_PICTURE), GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
        PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
    });
}

TEST(LangDialog, ClosedWhileMinimisedKeepsThePreviousPosition) {
    scup::CPrinterSelectDialog dialog(1033, {L"Corvane SC-200"}, L"");
    dialog.SetPosition(60, 50);
    ASSERT_TRUE(dialog.CreateModeless());
    ShowWindow(dialog.GetSafeHwnd(), SW_SHOW);
    SetWindowPos(dialog.GetSafeHwnd(), nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(dialog.GetSafeHwnd(), SW_MINIMIZE);
    PumpFor(100);
    ASSERT_TRUE(IsIconic(dialog.GetSafeHwnd()));
    dialog.DestroyModeless();
    EXPECT_EQ(dialog.PositionX(), 60);
    EXPECT_EQ(dialog.PositionY(), 50);
}

TEST(PrinterSelectDialog, OkGivesOneAndTheChosenPrinter) {
    scup::CPrinterSelectDialog dialog(1033, {L"Corvane SC-A", L"Corvane SC-B"}, L"Corvane SC-A");
    const DWORD uiThread = GetCurrentThreadId();
    std::thread driver([&] {
        HWND hwnd = WaitForAnyThreadDialog(uiThread);
        ASSERT_NE(hwnd, nullptr);
        HWND list = GetDlgItem(hwnd, IDC_PRINTER_LIST);
        EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 2);
        EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 0);
        SendMessageW(list, LB_SETCURSEL, 1, 0);
        SendMessageW(GetDlgItem(hwnd, IDOK), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(dialog.DoModal(), 1);
    driver.join();
    EXPECT_EQ(dialog.Printer(), L"Corvane SC-B");
}

TEST(PrinterSelectDialog, WithoutPrintersOkIsDisabledAndCancelReturnsToTheStart) {
    scup::CPrinterSelectDialog dialog(1033, {}, L"");
    const DWORD uiThread = GetCurrentThreadId();
    std::thread driver([&] {
        HWND hwnd = WaitForAnyThreadDialog(uiThread);
        ASSERT_NE(hwnd, nullptr);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hwnd, IDOK)));
        SendMessageW(GetDlgItem(hwnd, IDCANCEL), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    driver.join();
}

class AltMessageBoxTest : public ::testing::Test {
  protected:
    // Shows the box on this thread; the driver reads its text, ticks the box if asked and presses OK.
    INT_PTR ShowAndAnswer(scup::CAltMessageBox& box, bool tick, std::wstring& shownText) {
        const DWORD uiThread = GetCurrentThreadId();
        std::thread driver([&] {
            HWND hwnd = WaitForAnyThreadDialog(uiThread);
            ASSERT_NE(hwnd, nullptr);
            wchar_t text[512] = {};
            GetDlgItemTextW(hwnd, IDC_ALT_TEXT, text, 512);
            shownText = text;
            if (tick) SendMessageW(GetDlgItem(hwnd, IDC_ALT_DONT_SHOW), BM_CLICK, 0, 0);
            SendMessageW(GetDlgItem(hwnd, IDOK), BM_CLICK, 0, 0);
        });
        INT_PTR result = box.Show();
        driver.join();
        return result;
    }
    void SetUp() override { scup::WriteProfileInt(scup::kSettingsSection, L"NoMsg1487", 0); }
    void TearDown() override { scup::WriteProfileInt(scup::kSettingsSection, L"NoMsg1487", 0); }
};

TEST_F(AltMessageBoxTest, NoMessageShowsNothing) {
    scup::CAltMessageBox box(1033, nullptr, 0);
    EXPECT_EQ(box.Show(), -1);
}

TEST_F(AltMessageBoxTest, OnceSilencedAMessageNeverShowsAgain) {
    std::wstring shownText;
    scup::CAltMessageBox first(1041, nullptr, IDS_MSG_SERVER_UNREACHABLE);
    EXPECT_EQ(ShowAndAnswer(first, true, shownText), IDOK);
    EXPECT_EQ(shownText, scup::LoadLangString(IDS_MSG_SERVER_UNREACHABLE, 1041));
    EXPECT_EQ(scup::GetProfileInt(scup::kSettingsSection, L"NoMsg1487", 0), 1);

    scup::CAltMessageBox again(1033, nullptr, IDS_MSG_SERVER_UNREACHABLE);
    const ULONGLONG before = GetTickCount64();
    EXPECT_EQ(again.Show(), -1);
    EXPECT_LT(GetTickCount64() - before, 1000u);
}

TEST_F(AltMessageBoxTest, UntickedBoxKeepsShowingAndExplicitTextWins) {
    std::wstring shownText;
    scup::CAltMessageBox box(1033, nullptr, IDS_MSG_SERVER_UNREACHABLE, L"Explicit text");
    EXPECT_EQ(ShowAndAnswer(box, false, shownText), IDOK);
    EXPECT_EQ(shownText, L"Explicit text");
    EXPECT_EQ(scup::GetProfileInt(scup::kSettingsSection, L"NoMsg1487", 0), 0);
}

}  // namespace
