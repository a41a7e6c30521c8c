#pragma once
// A value that two threads read and write: each read gives a copy taken under the lock, so that no
// thread ever sees the other's half-written text.

#include <mutex>
#include <utility>

namespace scup {

template <typename T>
class Guarded {
  public:
    Guarded() = default;
    explicit Guarded(T value) : value_(std::move(value)) {}
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;

    T Get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void Set(T value) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }

  private:
    mutable std::mutex mutex_;
    T value_{};
};

}  // namespace scup
