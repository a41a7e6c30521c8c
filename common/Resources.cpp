#include "Resources.h"

#include <atomic>

namespace scup {
namespace {
std::atomic<HMODULE> g_resourceModule{nullptr};
}

HMODULE ResourceModule() { return g_resourceModule.load(); }
void SetResourceModule(HMODULE module) { g_resourceModule.store(module); }

std::optional<std::wstring> FindResString(UINT id) {
    HMODULE module = ResourceModule();
    if (!module) return std::nullopt;
    // String tables hold blocks of 16; a block that exists may still have an empty slot.
    HRSRC block = FindResourceW(module, MAKEINTRESOURCEW(id / 16 + 1), MAKEINTRESOURCEW(6) /* RT_STRING */);
    if (!block) return std::nullopt;
    const wchar_t* text = nullptr;
    int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return std::nullopt;
    return std::wstring(text, length);
}

std::wstring LoadResString(UINT id) { return FindResString(id).value_or(std::wstring()); }

}  // namespace scup
