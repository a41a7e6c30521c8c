#include "FaultSwitches.h"

namespace updateserver {

std::string Faults::Describe() const {
    if (!Any()) return "no faults";
    std::string text;
    const auto add = [&text](const std::string& part) { text += (text.empty() ? "" : " ") + part; };
    if (delayMs > 0) add("delay=" + std::to_string(delayMs) + "ms");
    if (status != 0) add("status=" + std::to_string(status));
    if (cutBody) add("cut-body=" + std::to_string(*cutBody));
    if (hang) add("hang");
    if (drop) add("drop");
    if (!portal.empty()) add("portal=" + portal);
    if (retryAfter >= 0) add("retry-after=" + std::to_string(retryAfter) + "s");
    if (every > 1) add("every=" + std::to_string(every));
    if (!pathPrefix.empty()) add("path=" + pathPrefix);
    if (times >= 0) add("times=" + std::to_string(times));
    return text;
}

void FaultSwitches::Set(const Faults& faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
    matched_ = 0;
}

Faults FaultSwitches::Current() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

std::optional<Faults> FaultSwitches::Take(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (!faults_.Any() || path.compare(0, faults_.pathPrefix.size(), faults_.pathPrefix) != 0)
        return std::nullopt;
    // With every=n the n-th, 2n-th... request is hit; the others pass untouched and do not count.
    if (faults_.every > 1 && ++matched_ % faults_.every != 0) return std::nullopt;
    Faults taken = faults_;
    if (faults_.times > 0 && --faults_.times == 0) faults_ = Faults{};
    return taken;
}

bool FaultSwitches::Wait(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    return !stopped_.wait_for(lock, duration, [this] { return stopping_; });
}

bool FaultSwitches::Stopping() const {
    std::lock_guard lock(mutex_);
    return stopping_;
}

void FaultSwitches::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopped_.notify_all();
}

}  // namespace updateserver
