#pragma once
// Text of one reading direction shown in a window laid out in the other: led by the left-to-right
// embedding mark, it keeps its own order (a Latin product name in a right-to-left list, a version
// number in an Arabic dialog).

#include <string>

namespace scup {

inline constexpr wchar_t kLeftToRightEmbedding = L'\x202A';

inline std::wstring LedLeftToRight(const std::wstring& text) { return kLeftToRightEmbedding + text; }

// The text as it was before LedLeftToRight: sorting and comparing ignore the mark.
inline std::wstring WithoutEmbeddingMark(const std::wstring& text) {
    return !text.empty() && text.front() == kLeftToRightEmbedding ? text.substr(1) : text;
}

}  // namespace scup
