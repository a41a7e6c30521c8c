#pragma once
// Base64 with the standard alphabet and "=" padding, on one line.

#include <cstddef>
#include <cstdint>
#include <string>

namespace updateserver {

std::string Base64Encode(const std::uint8_t* data, std::size_t size);

}  // namespace updateserver
