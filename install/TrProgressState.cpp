#include "TrProgressState.h"

namespace scup {

STrProgressState& TransferProgressState() {
    static STrProgressState state;
    return state;
}

void STrProgressState::Reset() {
    totalWeight = 0;
    doneWeight = 0;
    currentShare = 0;
    cancelEnabled = 1;
    cancelRequested = 0;
    rightToLeft = 0;
    lastPercentage = 0;
    SetCurrentName({});
}

void STrProgressState::SetCurrentName(std::wstring name) {
    std::lock_guard lock(nameMutex_);
    currentName_ = std::move(name);
}

std::wstring STrProgressState::CurrentName() const {
    std::lock_guard lock(nameMutex_);
    return currentName_;
}

}  // namespace scup
