#include "KeepAwake.h"

namespace scup {

CKeepAwake::CKeepAwake(std::atomic<bool>& flag, EXECUTION_STATE extra) : m_flag(flag) {
    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | extra);
    m_flag = true;
}

CKeepAwake::~CKeepAwake() {
    if (!m_flag) return;
    SetThreadExecutionState(ES_CONTINUOUS);
    m_flag = false;
}

}  // namespace scup
