#pragma once
// The printer's print queue around a firmware transfer: a job printing into the transfer could cut
// it off, so the queue must hold no job and the printer must not be printing before one starts, and
// the queue stays paused while it runs. Pausing needs the right to manage the printer, which an
// ordinary user may not have: then the empty queue checked just before is the guard.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace scup {

struct SPrintQueueState {
    // False when the spooler could not tell (no such queue here, no right to read it): a printer
    // whose queue cannot be read is not held back.
    bool known = false;
    DWORD jobs = 0;
    bool printing = false;
    // Held (by this program or by whoever manages the printer): its jobs wait.
    bool paused = false;

    bool Free() const { return !known || (!printing && (paused || jobs == 0)); }
};

// One printer's queue, as the spooler (winspool) keeps it.
class IPrintQueue {
  public:
    virtual ~IPrintQueue() = default;
    virtual SPrintQueueState State() = 0;
    // Holds the queue's jobs back (PRINTER_CONTROL_PAUSE) or lets them go again; false when the
    // spooler refused.
    virtual bool Pause() = 0;
    virtual bool Resume() = 0;
};

// Where the queues come from: the spooler unless a test puts in its own.
using PrintQueueSource = std::function<std::unique_ptr<IPrintQueue>(const std::wstring& printer)>;
void SetPrintQueueSource(PrintQueueSource source);
std::unique_ptr<IPrintQueue> OpenPrintQueue(const std::wstring& printer);

// Holds the printer's queue paused while it lives and resumes it on every way out. The profile's
// "PausedQueue" lists the queues meanwhile (printer names hold no comma), so that a pause left by a
// program that ended without resuming it is undone at the next start (ResumeQueueLeftPaused). A
// queue that was paused already is left as it was: whoever paused it resumes it.
class CQueuePause {
  public:
    explicit CQueuePause(const std::wstring& printer);
    ~CQueuePause();
    CQueuePause(const CQueuePause&) = delete;
    CQueuePause& operator=(const CQueuePause&) = delete;
    bool Paused() const { return m_paused; }

  private:
    std::wstring m_printer;
    std::unique_ptr<IPrintQueue> m_queue;
    bool m_paused = false;
};

// At the program's start: resumes the queues that an earlier run paused and never resumed.
void ResumeQueueLeftPaused();

}  // namespace scup
