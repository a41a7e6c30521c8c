#include "VersionOrder.h"

#include <cctype>
#include <cstdint>

namespace updateserver {
namespace {

struct Field {
    std::uint64_t number = 0;
    std::string_view rest;
};

std::string_view NextField(std::string_view& text) {
    const std::size_t dot = text.find('.');
    std::string_view field = text.substr(0, dot);
    text = dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
    return field;
}

Field ReadField(std::string_view field) {
    Field result;
    std::size_t i = 0;
    // Saturate instead of wrapping so that absurdly long numbers still order sensibly.
    constexpr std::uint64_t kLimit = UINT64_MAX / 10 - 10;
    for (; i < field.size() && std::isdigit(static_cast<unsigned char>(field[i])); ++i) {
        if (result.number < kLimit)
            result.number = result.number * 10 + static_cast<unsigned>(field[i] - '0');
    }
    result.rest = field.substr(i);
    return result;
}

}  // namespace

int CompareVersions(std::string_view left, std::string_view right) {
    while (!left.empty() || !right.empty()) {
        const Field l = ReadField(NextField(left));
        const Field r = ReadField(NextField(right));
        if (l.number != r.number) return l.number < r.number ? -1 : 1;
        if (const int order = l.rest.compare(r.rest); order != 0) return order < 0 ? -1 : 1;
    }
    return 0;
}

}  // namespace updateserver
