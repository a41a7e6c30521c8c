#pragma once
// The windows of the program belong to the thread that runs its dialogs (the main thread). Another
// thread that needs one (a message box, a dialog) has it opened there: the call goes to the main
// thread's call window as a sent message, and the caller waits until the main thread has run it.
// The main thread runs such calls whenever it takes messages, in the loops of its own dialogs and
// message boxes too; where it waits for another thread, it takes the calls meanwhile
// (WaitTakingCalls).

#include <windows.h>

#include <functional>

namespace scup {

class CMainThreadCalls {
  public:
    // Made on the main thread: from now until it goes, other threads' calls run there. Without one
    // (an unattended run, tests, tools) every call runs on the thread that makes it.
    CMainThreadCalls();
    ~CMainThreadCalls();
    CMainThreadCalls(const CMainThreadCalls&) = delete;
    CMainThreadCalls& operator=(const CMainThreadCalls&) = delete;

  private:
    HWND m_window = nullptr;
};

// Runs the call on the main thread and waits for it; at once on the main thread itself, and on the
// calling thread while there is no main thread's call window.
void CallOnMainThread(const std::function<void()>& call);

// The same for a call that gives a result (a dialog's or a message box's answer).
template <typename Call>
auto ResultOnMainThread(Call&& call) -> decltype(call()) {
    decltype(call()) result{};
    CallOnMainThread([&] { result = call(); });
    return result;
}

// Waits until the handle is signalled or the time is up (true when signalled), running the calls
// other threads send to this thread meanwhile; other messages stay in the queue.
bool WaitTakingCalls(HANDLE handle, DWORD milliseconds = INFINITE);

}  // namespace scup
