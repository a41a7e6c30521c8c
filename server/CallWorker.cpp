#include "CallWorker.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "common/Handles.h"
#include "common/ProgramEvents.h"

struct CCallWorker::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::function<void()> call;
    bool stop = false;
    scup::UniqueHandle done{CreateEventW(nullptr, FALSE, FALSE, nullptr)};

    void Loop() {
        for (;;) {
            std::function<void()> next;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return stop || call; });
                if (!call) return;
                next = std::move(call);
                call = nullptr;
            }
            next();
            SetEvent(done.get());
        }
    }
};

CCallWorker::CCallWorker() : m_shared(std::make_shared<Shared>()) {
    std::thread([shared = m_shared] { shared->Loop(); }).detach();
}

CCallWorker::~CCallWorker() {
    // A call still running keeps its thread until it returns; the thread then ends by itself.
    std::lock_guard lock(m_shared->mutex);
    m_shared->stop = true;
    m_shared->wake.notify_one();
}

namespace {

// Waits for the handle (none: only for the time) unless the user cancels or the program leaves
// first: Finished when the handle came, TimedOut when the time passed. A cancel seen is set again,
// so that the rest of the operation sees it too, as CancelRequested does.
CCallWorker::End WaitUnlessEnded(HANDLE awaited, DWORD waitMs) {
    scup::UniqueHandle cancel(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, scup::kCancelEventName));
    scup::UniqueHandle exit(OpenEventW(SYNCHRONIZE, FALSE, scup::kExitEventName));
    HANDLE waits[3] = {};
    DWORD count = 0;
    const DWORD awaitedIndex = awaited ? count : MAXDWORD;
    if (awaited) waits[count++] = awaited;
    const DWORD exitIndex = exit ? count : MAXDWORD;
    if (exit) waits[count++] = exit.get();
    const DWORD cancelIndex = cancel ? count : MAXDWORD;
    if (cancel) waits[count++] = cancel.get();
    if (count == 0) {
        Sleep(waitMs);
        return CCallWorker::End::TimedOut;
    }
    const DWORD waited = WaitForMultipleObjects(count, waits, FALSE, waitMs);
    if (waited == WAIT_OBJECT_0 + awaitedIndex) return CCallWorker::End::Finished;
    if (waited == WAIT_OBJECT_0 + cancelIndex) {
        SetEvent(cancel.get());
        return CCallWorker::End::Cancelled;
    }
    if (waited == WAIT_OBJECT_0 + exitIndex) return CCallWorker::End::Exiting;
    return CCallWorker::End::TimedOut;
}

}  // namespace

CCallWorker::End CCallWorker::Run(std::function<void()> call, DWORD waitMs) {
    if (m_abandoned) return m_spent;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->call = std::move(call);
        m_shared->wake.notify_one();
    }
    const End end = WaitUnlessEnded(m_shared->done.get(), waitMs);
    if (end == End::Finished) return end;
    m_abandoned = true;
    m_spent = end;
    return m_spent;
}

bool CCallWorker::CancelRequested() {
    scup::UniqueHandle cancel(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, scup::kCancelEventName));
    if (!cancel || WaitForSingleObject(cancel.get(), 0) != WAIT_OBJECT_0) return false;
    SetEvent(cancel.get());
    return true;
}

CCallWorker::End CCallWorker::Pause(DWORD ms) {
    const End end = WaitUnlessEnded(nullptr, ms);
    return end == End::TimedOut ? End::Finished : end;
}
