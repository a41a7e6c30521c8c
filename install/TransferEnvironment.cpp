#include "TransferEnvironment.h"

#include <mutex>

namespace {

constexpr LANGID kDefaultLanguage = 1033;

std::mutex& EnvironmentMutex() {
    static std::mutex mutex;
    return mutex;
}
STransferEnvironment& Environment() {
    static STransferEnvironment environment;
    return environment;
}

STransferEnvironment Current() {
    std::lock_guard lock(EnvironmentMutex());
    return Environment();
}

}  // namespace

void SetTransferEnvironment(STransferEnvironment environment) {
    std::lock_guard lock(EnvironmentMutex());
    Environment() = std::move(environment);
}

LANGID TransferLanguage() {
    const STransferEnvironment environment = Current();
    return environment.language ? environment.language() : kDefaultLanguage;
}

LCID TransferLocale() {
    const STransferEnvironment environment = Current();
    return environment.locale ? environment.locale() : 0;
}
