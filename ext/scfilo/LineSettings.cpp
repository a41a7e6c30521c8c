#include "LineSettings.h"

#include "common/Handles.h"

namespace scfilo {
namespace {

constexpr DWORD kLowestRate = 300;
constexpr DWORD kHighestRate = 4000000;
constexpr wchar_t kSettingsKey[] = L"Software\\Corvane Industries, Ltd.\\scfilo";

bool InRange(DWORD rate) { return rate >= kLowestRate && rate <= kHighestRate; }

std::optional<DWORD> RegistryRate(HKEY root) {
    scup::UniqueRegKey key;
    if (RegOpenKeyExW(root, kSettingsKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegQueryValueExW(key.get(), L"BaudRate", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || !InRange(value))
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<DWORD> ParseBaudRate(const std::wstring& text) {
    if (text.empty() || text.size() > 7) return std::nullopt;
    DWORD rate = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        rate = rate * 10 + static_cast<DWORD>(c - L'0');
    }
    if (!InRange(rate)) return std::nullopt;
    return rate;
}

DWORD ConfiguredBaudRate() {
    wchar_t text[32];
    DWORD length = GetEnvironmentVariableW(L"SCFILO_BAUD_RATE", text, ARRAYSIZE(text));
    if (length > 0 && length < ARRAYSIZE(text)) {
        if (auto rate = ParseBaudRate(text)) return *rate;
    }
    if (auto rate = RegistryRate(HKEY_CURRENT_USER)) return *rate;
    if (auto rate = RegistryRate(HKEY_LOCAL_MACHINE)) return *rate;
    return kDefaultBaudRate;
}

}  // namespace scfilo
