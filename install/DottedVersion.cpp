#include "DottedVersion.h"

#include <vector>

namespace scup {
namespace {

std::vector<unsigned long long> Fields(const std::wstring& text) {
    std::vector<unsigned long long> fields;
    size_t start = 0;
    while (start <= text.size()) {
        size_t dot = text.find(L'.', start);
        const std::wstring field =
            text.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start);
        unsigned long long value = 0;
        for (wchar_t c : field) {
            if (c < L'0' || c > L'9') break;
            value = value * 10 + static_cast<unsigned long long>(c - L'0');
        }
        fields.push_back(value);
        if (dot == std::wstring::npos) break;
        start = dot + 1;
    }
    return fields;
}

}  // namespace

int CompareDottedVersions(const std::wstring& left, const std::wstring& right) {
    const std::vector<unsigned long long> l = Fields(left);
    const std::vector<unsigned long long> r = Fields(right);
    for (size_t i = 0; i < l.size() || i < r.size(); ++i) {
        const unsigned long long a = i < l.size() ? l[i] : 0;
        const unsigned long long b = i < r.size() ? r[i] : 0;
        if (a != b) return a > b ? 1 : -1;
    }
    return 0;
}

}  // namespace scup
