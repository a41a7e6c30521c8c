#include "StatusReply.h"

namespace printersim {

StatusReply::StatusReply(std::uint16_t model, bool longRecords) {
    bytes_[0] = 0x81;
    bytes_[1] = 0x20;
    bytes_[2] = 0x42;
    bytes_[kModelAt] = static_cast<std::uint8_t>(model & 0xFF);
    bytes_[kModelAt + 1] = static_cast<std::uint8_t>(model >> 8);
    bytes_[kLongRecordsAt] = longRecords ? 1 : 0;
    bytes_[kAcceptAt] = kAccepted;
}

StatusReply& StatusReply::Refuse(bool byState) {
    bytes_[kAcceptAt] = kRefused;
    bytes_[kRefusalKindAt] = byState ? kRefusedByState : 0;
    return *this;
}

StatusReply& StatusReply::Count(std::uint32_t count) {
    for (std::size_t i = 0; i < 4; ++i) bytes_[kCountAt + i] = static_cast<std::uint8_t>(count >> (8 * i));
    return *this;
}

}  // namespace printersim
