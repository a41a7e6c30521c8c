#pragma once
// What a firmware transfer and its progress dialog share while the transfer runs: the weights
// (data lengths) of the whole run, of the files already sent and of the file being sent, the file
// being sent, and the cancel switches. Process-wide; every new transfer dialog starts it afresh.
// The worker writes most of it and the dialog's thread reads it, so every field stands alone.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace scup {

struct STrProgressState {
    std::atomic<std::uint32_t> totalWeight{0};
    std::atomic<std::uint32_t> doneWeight{0};
    std::atomic<std::uint32_t> currentShare{0};
    // Whether the user may cancel the file being sent.
    std::atomic<int> cancelEnabled{1};
    // Set by the dialog's Cancel; only ever goes from 0 to 1 during a transfer.
    std::atomic<int> cancelRequested{0};
    // The current name reads right to left.
    std::atomic<int> rightToLeft{0};
    std::atomic<int> lastPercentage{0};

    void Reset();
    // The name of the file being sent, as it travels (with the escape tokens of file names).
    void SetCurrentName(std::wstring name);
    std::wstring CurrentName() const;

  private:
    mutable std::mutex nameMutex_;
    std::wstring currentName_;
};

// The one state of the process's transfers.
STrProgressState& TransferProgressState();

}  // namespace scup
