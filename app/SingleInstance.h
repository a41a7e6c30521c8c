#pragma once
// One updater per logon: the named mutex "Corvane_ScUpdater", and finding the running instance's
// window by its "ScriboUpdaterWindow" property. The main thread takes the lock at start-up and holds
// it until the application's start routine returns.

#include <windows.h>

#include "common/Handles.h"
#include "ui/LangDialog.h"

namespace scup {

inline constexpr wchar_t kInstanceMutexName[] = L"Corvane_ScUpdater";

class CSingleInstance {
public:
    CSingleInstance();
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // Takes the lock without waiting.
    bool TryLock();
    // Retries every 100 ms until the previous instance lets go, then waits 500 ms more.
    void WaitForPrevious();
    // The same for at most the time given; false when the previous instance still runs then.
    bool WaitForPrevious(DWORD timeoutMs);

  private:
    UniqueHandle m_mutex;
    int m_nLocks = 0;  // acquisitions to give back when the instance ends
};

// Brings the running instance's window forward. Returns whether one was found.
bool ActivateRunningInstance();

}  // namespace scup
