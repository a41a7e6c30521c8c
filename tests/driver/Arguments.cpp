#include "Arguments.h"

#include <cwchar>

namespace scdrive {

Arguments::Arguments(const std::vector<std::wstring>& args, const std::set<std::wstring>& switches) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg.rfind(L"--", 0) != 0) {
            m_positional.push_back(arg);
            continue;
        }
        const std::wstring name = arg.substr(2);
        if (switches.count(name)) {
            m_switches.insert(name);
        } else if (i + 1 < args.size()) {
            m_options[name] = args[++i];
        } else {
            m_error = L"option " + arg + L" needs a value";
            return;
        }
    }
}

std::optional<std::wstring> Arguments::Option(const std::wstring& name) const {
    auto found = m_options.find(name);
    if (found == m_options.end()) return std::nullopt;
    return found->second;
}

std::vector<std::wstring> Arguments::UnknownNames(const std::set<std::wstring>& known) const {
    std::vector<std::wstring> unknown;
    for (const auto& [name, value] : m_options)
        if (!known.count(name)) unknown.push_back(name);
    for (const auto& name : m_switches)
        if (!known.count(name)) unknown.push_back(name);
    return unknown;
}

std::optional<unsigned long> ParseNumber(const std::wstring& text) {
    // wcstoul would quietly wrap a negative number round.
    if (text.empty() || text[0] == L'-') return std::nullopt;
    wchar_t* end = nullptr;
    const unsigned long value = wcstoul(text.c_str(), &end, 0);
    if (!end || *end != L'\0') return std::nullopt;
    return value;
}

std::optional<HWND> ParseHandle(const std::wstring& text) {
    if (text.empty()) return std::nullopt;
    wchar_t* end = nullptr;
    const unsigned long long value = wcstoull(text.c_str(), &end, 16);
    if (!end || *end != L'\0' || value == 0) return std::nullopt;
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(value));
}

}  // namespace scdrive
