#pragma once
// The printer's 32-byte reply to "S", "M" and the steps of a download. The same layout serves as
// the identification reply (after "I"), whose count field is the cancel limit instead of a credit.

#include <array>
#include <cstddef>
#include <cstdint>

namespace printersim {

class StatusReply {
  public:
    static constexpr std::size_t kSize = 32;
    static constexpr std::size_t kModelAt = 3;
    static constexpr std::size_t kLongRecordsAt = 6;
    static constexpr std::size_t kRefusalKindAt = 8;
    static constexpr std::size_t kAcceptAt = 18;
    static constexpr std::size_t kCountAt = 24;
    static constexpr std::uint8_t kAccepted = 1;
    static constexpr std::uint8_t kRefused = 0;
    static constexpr std::uint8_t kRefusedByState = 2;

    using Bytes = std::array<std::uint8_t, kSize>;

    StatusReply(std::uint16_t model, bool longRecords);

    // A refusal with kind 2 is how the printer says it cannot take files in its present state.
    StatusReply& Refuse(bool byState);
    // The credit of a download step, or the cancel limit of an identification reply.
    StatusReply& Count(std::uint32_t count);

    const Bytes& bytes() const { return bytes_; }

  private:
    Bytes bytes_{};
};

}  // namespace printersim
