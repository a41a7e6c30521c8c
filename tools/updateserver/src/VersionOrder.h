#pragma once
// Order of version texts such as "1.05", "5.2.1" or "2.10b".

#include <string_view>

namespace updateserver {

// Negative when left is older than right, 0 when equal, positive when newer. The texts are split at
// "."; fields compare by their leading decimal number and then by the rest of the field as text; a
// missing or empty field counts as 0, so "1.2" equals "1.2.0" and an empty text equals "0".
int CompareVersions(std::string_view left, std::string_view right);

}  // namespace updateserver
