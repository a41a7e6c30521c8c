#pragma once
// Runs the blocking WinHTTP calls of one exchange on a thread of its own, so that the thread that
// waits for them can stop waiting: when the user cancels, when the program is leaving, or when the
// answer has taken longer than it may. A call that is left behind ends on its own thread later;
// it may only touch what it shares with the worker (captured by value or through a shared
// pointer), never the waiting thread's stack.

#include <windows.h>

#include <functional>
#include <memory>

class CCallWorker {
  public:
    enum class End { Finished, Cancelled, Exiting, TimedOut };

    // The events are "CANCEL_EVENT" and "EXIT_EVENT" as the program makes them; either may be
    // missing (a test, or an exchange before the update thread made them).
    CCallWorker();
    ~CCallWorker();
    CCallWorker(const CCallWorker&) = delete;
    CCallWorker& operator=(const CCallWorker&) = delete;

    // Runs the call and waits at most waitMs (INFINITE: no bound) for it. Once a call has been
    // left behind the worker is spent: every later Run ends as that one did.
    End Run(std::function<void()> call, DWORD waitMs);

    // Whether "CANCEL_EVENT" is set. The event resets itself when a wait sees it; it is set again,
    // so that the rest of the operation sees the cancel too (the next operation clears it).
    static bool CancelRequested();
    // Waits for the time unless the user cancels or the program leaves first: Finished when the
    // time passed.
    static End Pause(DWORD ms);

  private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    End m_spent = End::Finished;
    bool m_abandoned = false;
};
