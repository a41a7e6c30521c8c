#pragma once
// Version texts such as "5.2.1": split at the dots and compared field by field as decimal
// numbers; a missing field counts as 0.

#include <string>

namespace scup {

// 1 when left is newer than right, -1 when older, 0 when the same.
int CompareDottedVersions(const std::wstring& left, const std::wstring& right);

}  // namespace scup
