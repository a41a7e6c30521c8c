#include "KeepAwake.h"

namespace scup {

DWORD SystemMajorVersion() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    return GetVersionExW(&version) ? version.dwMajorVersion : 0;
}

CKeepAwake::CKeepAwake(std::atomic<bool>& flag, EXECUTION_STATE extra) : m_flag(flag) {
    if (SystemMajorVersion() < 6) return;
    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | extra);
    m_flag = true;
}

CKeepAwake::~CKeepAwake() {
    if (!m_flag) return;
    SetThreadExecutionState(ES_CONTINUOUS);
    m_flag = false;
}

}  // namespace scup
