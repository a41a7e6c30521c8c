#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "common/Handles.h"
#include "common/LangResources.h"
#include "common/MainThreadCalls.h"
#include "install/InstallDialogs.h"

namespace {

// Where the message boxes opened, and what the box answered.
class MainThreadCallsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = scup::SetMessageBoxHandler([this](HWND, const std::wstring&, const std::wstring&, UINT) {
            shownOn_ = GetCurrentThreadId();
            return IDRETRY;
        });
    }
    void TearDown() override { scup::SetMessageBoxHandler(previous_); }

    // A box asked for by a thread of its own; beforeWaiting runs while the box's call is on its
    // way, then this thread waits for the asker taking the calls it sends. Gives the box's answer.
    int AskFromAnotherThread(const std::function<void()>& beforeWaiting = {}) {
        scup::UniqueHandle ended(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        std::atomic<int> answer{0};
        std::thread asker([&] {
            answer = scup::ShowMessageBox(nullptr, L"Is the printer on?", L"ScUpdater", MB_RETRYCANCEL);
            askedOn_ = GetCurrentThreadId();
            SetEvent(ended.get());
        });
        if (beforeWaiting) beforeWaiting();
        EXPECT_TRUE(scup::WaitTakingCalls(ended.get(), 20000)) << "the asking thread ended";
        asker.join();
        return answer;
    }

    scup::MessageBoxHandler previous_;
    std::atomic<DWORD> shownOn_{0};
    std::atomic<DWORD> askedOn_{0};
};

TEST_F(MainThreadCallsTest, AMessageBoxAnotherThreadAsksForOpensOnTheMainThreadAndAnswersIt) {
    scup::CMainThreadCalls windowsHere;
    EXPECT_EQ(AskFromAnotherThread(), IDRETRY);
    EXPECT_EQ(shownOn_.load(), GetCurrentThreadId());
}

TEST_F(MainThreadCallsTest, WithoutTheMainThreadsCallWindowABoxOpensOnTheThreadThatAsks) {
    { scup::CMainThreadCalls gone; }
    EXPECT_EQ(AskFromAnotherThread(), IDRETRY);
    EXPECT_EQ(shownOn_.load(), askedOn_.load());
    EXPECT_NE(shownOn_.load(), GetCurrentThreadId());
}

// The dialogs end while another thread's box is on its way to them: the box is not lost, it opens
// on the thread that asked.
TEST_F(MainThreadCallsTest, ABoxAskedForAsTheCallWindowGoesOpensOnTheThreadThatAsks) {
    auto windowsHere = std::make_unique<scup::CMainThreadCalls>();
    const int answer = AskFromAnotherThread([&] {
        // The box's call waits in this thread's queue; nothing here takes it before the window goes.
        const ULONGLONG deadline = GetTickCount64() + 20000;
        while (!(GetQueueStatus(QS_SENDMESSAGE) & (QS_SENDMESSAGE | (QS_SENDMESSAGE << 16))) &&
               GetTickCount64() < deadline)
            SwitchToThread();
        windowsHere.reset();
    });
    EXPECT_EQ(answer, IDRETRY);
    EXPECT_EQ(shownOn_.load(), askedOn_.load());
    EXPECT_NE(shownOn_.load(), GetCurrentThreadId());
}

TEST_F(MainThreadCallsTest, TheMainThreadRunsItsOwnCallsAtOnceAndAWaitEndsOnTime) {
    scup::CMainThreadCalls windowsHere;
    EXPECT_EQ(scup::ShowMessageBox(nullptr, L"here", L"ScUpdater", MB_OK), IDRETRY);
    EXPECT_EQ(shownOn_.load(), GetCurrentThreadId());
    scup::UniqueHandle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_FALSE(scup::WaitTakingCalls(never.get(), 50));
}

// The transfer's dialogs an install run on the update thread asks for open on the main thread; the
// note beside a running installer stays with the thread that waits for the installer.
TEST_F(MainThreadCallsTest, TheTransfersDialogsOpenOnTheMainThreadTheInstallersNoteOnTheWaitingThread) {
    scup::CMainThreadCalls windowsHere;
    std::atomic<DWORD> confirmedOn{0}, retriedOn{0}, progressOn{0}, workedOn{0}, noteOn{0};
    SInstallDialogs shown;
    shown.confirmTransfer = [&](LANGID, HWND) {
        confirmedOn = GetCurrentThreadId();
        return true;
    };
    shown.retryConnection = [&](LANGID, HWND) {
        retriedOn = GetCurrentThreadId();
        return false;
    };
    shown.runTransfer = [&](LANGID, HWND, std::uint32_t, std::function<void(const TransferProgress&)> work) {
        progressOn = GetCurrentThreadId();
        std::thread worker([&] { work([](int) { return 1; }); });
        worker.join();
        return true;
    };
    shown.waitForInstaller = [&](LANGID, const std::wstring&, bool, HANDLE) {
        noteOn = GetCurrentThreadId();
    };
    const SInstallDialogs dialogs = OpenedOnMainThread(shown);

    scup::UniqueHandle ended(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<DWORD> updateThread{0};
    bool confirmed = false, retried = true, ran = false;
    std::thread install([&] {
        updateThread = GetCurrentThreadId();
        confirmed = dialogs.confirmTransfer(1033, nullptr);
        retried = dialogs.retryConnection(1033, nullptr);
        ran = dialogs.runTransfer(1033, nullptr, 10,
                                  [&](const TransferProgress&) { workedOn = GetCurrentThreadId(); });
        dialogs.waitForInstaller(1033, L"Installing", false, nullptr);
        SetEvent(ended.get());
    });
    EXPECT_TRUE(scup::WaitTakingCalls(ended.get(), 20000)) << "the install thread ended";
    install.join();

    EXPECT_TRUE(confirmed);
    EXPECT_FALSE(retried);
    EXPECT_TRUE(ran);
    const DWORD mainThread = GetCurrentThreadId();
    EXPECT_EQ(confirmedOn.load(), mainThread);
    EXPECT_EQ(retriedOn.load(), mainThread);
    EXPECT_EQ(progressOn.load(), mainThread);
    EXPECT_NE(workedOn.load(), 0u);
    EXPECT_NE(workedOn.load(), mainThread) << "the transfer's work runs beside its dialog";
    EXPECT_EQ(noteOn.load(), updateThread.load());
}

}  // namespace
