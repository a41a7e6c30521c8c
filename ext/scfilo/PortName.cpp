#include "PortName.h"

#include <cwctype>
#include <sstream>

namespace scfilo {
namespace {

std::wstring Upper(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

std::wstring Trim(const std::wstring& text) {
    auto first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    auto last = text.find_last_not_of(L" \t");
    return text.substr(first, last - first + 1);
}

std::optional<PortAddress> ParseOne(std::wstring port) {
    port = Upper(Trim(port));
    if (!port.empty() && port.back() == L':') port.pop_back();
    if (port.starts_with(L"SC")) port.erase(0, 2);
    PortAddress address;
    std::wstring digits;
    if (port.starts_with(L"COM")) {
        address.kind = PortAddress::Kind::Serial;
        digits = port.substr(3);
    } else if (port.starts_with(L"USB")) {
        address.kind = PortAddress::Kind::Usb;
        digits = port.substr(3);
    } else {
        return std::nullopt;
    }
    if (digits.empty() || digits.size() > 3) return std::nullopt;
    unsigned number = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') return std::nullopt;
        number = number * 10 + static_cast<unsigned>(c - L'0');
    }
    if (number == 0 || (address.kind == PortAddress::Kind::Serial && number > 256)) return std::nullopt;
    address.number = number;
    address.name = port;
    return address;
}

}  // namespace

std::optional<PortAddress> ParsePortName(const std::wstring& portText) {
    std::wstringstream list(portText);
    std::wstring one;
    while (std::getline(list, one, L',')) {
        if (auto address = ParseOne(one)) return address;
    }
    return std::nullopt;
}

}  // namespace scfilo
