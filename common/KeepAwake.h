#pragma once
// Asks the system to stay awake while firmware goes to the printer, and lets it sleep again once
// the transfer is over, however it ended. Systems before version 6 do not know the request.
// The flag tells whether the request stands; others (a watching thread, a test) may read it.
// Made and ended on the thread that runs the transfer (the update thread, or the main thread for
// packages sent from disk), as the system ties the request to that thread.

#include <windows.h>

#include <atomic>

namespace scup {

class CKeepAwake {
  public:
    // extra: further execution-state flags, such as ES_AWAYMODE_REQUIRED.
    explicit CKeepAwake(std::atomic<bool>& flag, EXECUTION_STATE extra = 0);
    ~CKeepAwake();
    CKeepAwake(const CKeepAwake&) = delete;
    CKeepAwake& operator=(const CKeepAwake&) = delete;

  private:
    std::atomic<bool>& m_flag;
};

}  // namespace scup
