#include "WindowFinder.h"

#include <iterator>

namespace scdrive {
namespace {

constexpr UINT kMessageTimeoutMs = 2000;

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

bool AnyStaticChildContains(HWND parent, const std::wstring& needle) {
    for (HWND child : ChildrenOf(parent)) {
        if (ClassNameOf(child) != L"Static") continue;
        if (TextOf(child).find(needle) != std::wstring::npos) return true;
    }
    return false;
}

bool OwnerMatches(HWND window, const WindowQuery& query) {
    if (!query.owner && query.ownerProperty.empty()) return true;
    HWND owner = GetWindow(window, GW_OWNER);
    if (!owner) return false;
    if (query.owner && owner != query.owner) return false;
    return query.ownerProperty.empty() || HasProperty(owner, query.ownerProperty);
}

bool Matches(HWND window, const WindowQuery& query) {
    if (query.mustBeEnabled && !IsWindowEnabled(window)) return false;
    if (!query.className.empty() && ClassNameOf(window) != query.className) return false;
    if (!query.property.empty() && !HasProperty(window, query.property)) return false;
    if (!OwnerMatches(window, query)) return false;
    return query.textContains.empty() || AnyStaticChildContains(window, query.textContains);
}

}  // namespace

std::vector<HWND> VisibleTopLevelWindows() {
    std::vector<HWND> all;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
    std::vector<HWND> visible;
    for (HWND window : all)
        if (IsWindowVisible(window)) visible.push_back(window);
    return visible;
}

std::vector<HWND> ChildrenOf(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&children));
    return children;
}

std::optional<HWND> FindWindowMatching(const WindowQuery& query) {
    for (HWND window : VisibleTopLevelWindows())
        if (Matches(window, query)) return window;
    return std::nullopt;
}

std::wstring ClassNameOf(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return std::wstring(name, length > 0 ? length : 0);
}

std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &length))
        return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, kMessageTimeoutMs, &copied))
        return {};
    text.resize(copied < text.size() ? copied : length);
    return text;
}

std::optional<WindowRect> RectOf(HWND window) {
    RECT rect{};
    if (!GetWindowRect(window, &rect)) return std::nullopt;
    return WindowRect{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

bool HasProperty(HWND window, const std::wstring& property) {
    return GetPropW(window, property.c_str()) != nullptr;
}

DWORD ProcessIdOf(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

bool IsDialogWindow(HWND window) { return ClassNameOf(window) == L"#32770"; }

}  // namespace scdrive
