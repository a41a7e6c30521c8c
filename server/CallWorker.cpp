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

CCallWorker::End CCallWorker::Run(std::function<void()> call, DWORD waitMs) {
    if (m_abandoned) return m_spent;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->call = std::move(call);
        m_shared->wake.notify_one();
    }
    scup::UniqueHandle cancel(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, scup::kCancelEventName));
    scup::UniqueHandle exit(OpenEventW(SYNCHRONIZE, FALSE, scup::kExitEventName));
    HANDLE waits[3] = {m_shared->done.get()};
    DWORD count = 1;
    const DWORD exitIndex = exit ? count : MAXDWORD;
    if (exit) waits[count++] = exit.get();
    const DWORD cancelIndex = cancel ? count : MAXDWORD;
    if (cancel) waits[count++] = cancel.get();

    const DWORD waited = WaitForMultipleObjects(count, waits, FALSE, waitMs);
    if (waited == WAIT_OBJECT_0) return End::Finished;
    m_abandoned = true;
    if (waited == WAIT_OBJECT_0 + cancelIndex) {
        SetEvent(cancel.get());  // for the rest of the operation, as in CancelRequested
        m_spent = End::Cancelled;
    } else if (waited == WAIT_OBJECT_0 + exitIndex) {
        m_spent = End::Exiting;
    } else {
        m_spent = End::TimedOut;
    }
    return m_spent;
}

bool CCallWorker::CancelRequested() {
    scup::UniqueHandle cancel(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, scup::kCancelEventName));
    if (!cancel || WaitForSingleObject(cancel.get(), 0) != WAIT_OBJECT_0) return false;
    SetEvent(cancel.get());
    return true;
}

CCallWorker::End CCallWorker::Pause(DWORD ms) {
    scup::UniqueHandle cancel(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, scup::kCancelEventName));
    scup::UniqueHandle exit(OpenEventW(SYNCHRONIZE, FALSE, scup::kExitEventName));
    HANDLE waits[2] = {};
    DWORD count = 0;
    if (exit) waits[count++] = exit.get();
    const DWORD cancelIndex = cancel ? count : MAXDWORD;
    if (cancel) waits[count++] = cancel.get();
    if (count == 0) {
        Sleep(ms);
        return End::Finished;
    }
    const DWORD waited = WaitForMultipleObjects(count, waits, FALSE, ms);
    if (waited == WAIT_TIMEOUT) return End::Finished;
    if (waited == WAIT_OBJECT_0 + cancelIndex) {
        SetEvent(cancel.get());
        return End::Cancelled;
    }
    return End::Exiting;
}
