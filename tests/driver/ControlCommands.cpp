// The subcommands that act on one control of a window as a user would: read whether it is
// enabled, type into an edit, choose in a combo box, read and tick list rows, send a menu command,
// and wait for a control's state or text.

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <set>

#include "Arguments.h"
#include "Commands.h"
#include "Output.h"
#include "WindowFinder.h"

namespace scdrive {
namespace {

constexpr unsigned long kDefaultTimeoutMs = 10000;
constexpr DWORD kPollMs = 100;
constexpr UINT kSendTimeoutMs = 5000;
constexpr int kCellChars = 260;

// Memory in the window's own process: a list view's messages carry pointers that must be valid
// there, not here.
class RemoteBuffer {
  public:
    RemoteBuffer(HWND window, SIZE_T size) : m_size(size) {
        DWORD pid = ProcessIdOf(window);
        m_process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (m_process) m_address = VirtualAllocEx(m_process, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (m_address) VirtualFreeEx(m_process, m_address, 0, MEM_RELEASE);
        if (m_process) CloseHandle(m_process);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    bool Valid() const { return m_address != nullptr; }
    void* Address() const { return m_address; }
    template <typename T>
    T* At(SIZE_T offset) const {
        return reinterpret_cast<T*>(static_cast<BYTE*>(m_address) + offset);
    }
    bool Write(SIZE_T offset, const void* data, SIZE_T size) const {
        return offset + size <= m_size &&
               WriteProcessMemory(m_process, static_cast<BYTE*>(m_address) + offset, data, size, nullptr);
    }
    bool Read(SIZE_T offset, void* data, SIZE_T size) const {
        return offset + size <= m_size &&
               ReadProcessMemory(m_process, static_cast<BYTE*>(m_address) + offset, data, size, nullptr);
    }

  private:
    HANDLE m_process = nullptr;
    void* m_address = nullptr;
    SIZE_T m_size;
};

std::optional<Arguments> Parse(const CommandArgs& args, const std::set<std::wstring>& options) {
    Arguments parsed(args, {});
    if (!parsed.Valid()) {
        PrintError(parsed.Error());
        return std::nullopt;
    }
    for (const auto& name : parsed.UnknownNames(options)) {
        PrintError(L"unknown option --" + name);
        return std::nullopt;
    }
    return parsed;
}

// The control named by the first two positional arguments (window handle, control id).
std::optional<HWND> ControlOf(const Arguments& args, std::size_t positionals) {
    if (args.Positional().size() != positionals) {
        PrintError(L"expected a window handle, a control id and " + std::to_wstring(positionals - 2) +
                   L" more argument(s)");
        return std::nullopt;
    }
    const auto window = ParseHandle(args.Positional()[0]);
    if (!window || !IsWindow(*window)) {
        PrintError(L"no window " + args.Positional()[0]);
        return std::nullopt;
    }
    const auto id = ParseNumber(args.Positional()[1]);
    HWND control = id ? GetDlgItem(*window, static_cast<int>(*id)) : nullptr;
    if (!control) {
        PrintError(L"window " + args.Positional()[0] + L" has no control " + args.Positional()[1]);
        return std::nullopt;
    }
    return control;
}

std::optional<int> NumberAt(const Arguments& args, std::size_t index) {
    const auto value = ParseNumber(args.Positional()[index]);
    if (!value) PrintError(L"\"" + args.Positional()[index] + L"\" is not a number");
    return value ? std::optional<int>(static_cast<int>(*value)) : std::nullopt;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    return static_cast<LRESULT>(result);
}

void Notify(HWND control, UINT code) {
    HWND parent = GetParent(control);
    const int id = GetDlgCtrlID(control);
    Send(parent, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
}

std::wstring CellText(HWND list, RemoteBuffer& buffer, int row, int column) {
    LVITEMW item{};
    item.iSubItem = column;
    item.cchTextMax = kCellChars;
    item.pszText = buffer.At<wchar_t>(sizeof(LVITEMW));
    if (!buffer.Write(0, &item, sizeof item)) return {};
    Send(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(buffer.Address()));
    wchar_t text[kCellChars] = {};
    buffer.Read(sizeof(LVITEMW), text, sizeof text - sizeof(wchar_t));
    return text;
}

bool WaitUntil(unsigned long timeoutMs, const std::function<bool()>& condition) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(kPollMs);
    }
}

std::optional<unsigned long> TimeoutOf(const Arguments& args) {
    const auto text = args.Option(L"timeout");
    if (!text) return kDefaultTimeoutMs;
    const auto value = ParseNumber(*text);
    if (!value) PrintError(L"--timeout needs a number of milliseconds");
    return value;
}

}  // namespace

int PrintEnabled(const CommandArgs& args) {
    const auto parsed = Parse(args, {});
    if (!parsed) return kUsage;
    const auto control = ControlOf(*parsed, 2);
    if (!control) return kFailed;
    PrintLine(IsWindowEnabled(*control) && IsWindowVisible(*control) ? L"1" : L"0");
    return kOk;
}

int TypeText(const CommandArgs& args) {
    const auto parsed = Parse(args, {});
    if (!parsed) return kUsage;
    const auto control = ControlOf(*parsed, 3);
    if (!control) return kFailed;
    const std::wstring& text = parsed->Positional()[2];
    // WM_SETTEXT carries its text across processes; the edit then tells its dialog as typing would.
    Send(*control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    Notify(*control, EN_CHANGE);
    return kOk;
}

int ChooseItem(const CommandArgs& args) {
    const auto parsed = Parse(args, {});
    if (!parsed) return kUsage;
    const auto control = ControlOf(*parsed, 3);
    if (!control) return kFailed;
    std::optional<int> index;
    const bool byText = parsed->Positional().size() > 2 &&
                        parsed->Positional()[2].find_first_not_of(L"0123456789") != std::wstring::npos;
    if (!byText) index = NumberAt(*parsed, 2);
    if (byText) {
        // An item's text instead of its place.
        const std::wstring& text = parsed->Positional()[2];
        const LRESULT found = Send(*control, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>(text.c_str()));
        if (found == CB_ERR) {
            PrintError(L"the box has no item \"" + text + L"\"");
            return kFailed;
        }
        index = static_cast<int>(found);
    }
    if (!index) return kUsage;
    const LRESULT count = Send(*control, CB_GETCOUNT, 0, 0);
    if (*index < 0 || *index >= count) {
        PrintError(L"the box has " + std::to_wstring(count) + L" items, not item " + std::to_wstring(*index));
        return kFailed;
    }
    // A user opens the box, picks and closes it: the dialog acts on the close-up.
    Send(*control, CB_SETCURSEL, static_cast<WPARAM>(*index), 0);
    Notify(*control, CBN_SELCHANGE);
    Notify(*control, CBN_CLOSEUP);
    return kOk;
}

int SendMenuCommand(const CommandArgs& args) {
    const auto parsed = Parse(args, {});
    if (!parsed) return kUsage;
    if (parsed->Positional().size() != 2) {
        PrintError(L"command needs a window handle and a command id");
        return kUsage;
    }
    const auto window = ParseHandle(parsed->Positional()[0]);
    const auto id = ParseNumber(parsed->Positional()[1]);
    if (!window || !IsWindow(*window) || !id) {
        PrintError(L"no window " + parsed->Positional()[0] + L" or no command id");
        return kFailed;
    }
    // A disabled menu item cannot be chosen by a user either.
    if (HMENU menu = GetMenu(*window)) {
        const UINT state = GetMenuState(menu, static_cast<UINT>(*id), MF_BYCOMMAND);
        if (state != static_cast<UINT>(-1) && (state & (MF_DISABLED | MF_GRAYED))) {
            PrintError(L"menu item " + parsed->Positional()[1] + L" is disabled");
            return kFailed;
        }
    }
    PostMessageW(*window, WM_COMMAND, MAKEWPARAM(*id, 0), 0);
    return kOk;
}

int PrintMenuState(const CommandArgs& args) {
    const auto parsed = Parse(args, {});
    if (!parsed) return kUsage;
    const auto window = parsed->Positional().size() == 2 ? ParseHandle(parsed->Positional()[0]) : std::nullopt;
    const auto id = window ? ParseNumber(parsed->Positional()[1]) : std::nullopt;
    HMENU menu = window ? GetMenu(*window) : nullptr;
    if (!menu || !id) {
        PrintError(L"menu-state needs a window with a menu and a command id");
        return kFailed;
    }
    const UINT state = GetMenuState(menu, static_cast<UINT>(*id), MF_BYCOMMAND);
    if (state == static_cast<UINT>(-1)) {
        PrintError(L"the menu has no item " + parsed->Positional()[1]);
        return kFailed;
    }
    PrintLine((state & (MF_DISABLED | MF_GRAYED)) ? L"0" : L"1");
    return kOk;
}

int PrintRows(const CommandArgs& args) {
    const auto parsed = Parse(args, {});
    if (!parsed) return kUsage;
    const auto list = ControlOf(*parsed, 2);
    if (!list) return kFailed;
    RemoteBuffer buffer(*list, sizeof(LVITEMW) + kCellChars * sizeof(wchar_t));
    if (!buffer.Valid()) {
        PrintError(L"cannot reach the list's process");
        return kFailed;
    }
    const int rows = static_cast<int>(Send(*list, LVM_GETITEMCOUNT, 0, 0));
    HWND header = reinterpret_cast<HWND>(Send(*list, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(Send(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
    for (int row = 0; row < rows; ++row) {
        const LRESULT state = Send(*list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK);
        const bool ticked = ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
        std::wstring line = ticked ? L"[x]" : L"[ ]";
        for (int column = 0; column < std::max(columns, 1); ++column) line += L"\t" + CellText(*list, buffer, row, column);
        PrintLine(line);
    }
    return kOk;
}

int TickRow(const CommandArgs& args) {
    const auto parsed = Parse(args, {});
    if (!parsed) return kUsage;
    const auto list = ControlOf(*parsed, 4);
    if (!list) return kFailed;
    const auto row = NumberAt(*parsed, 2);
    const auto tick = NumberAt(*parsed, 3);
    if (!row || !tick) return kUsage;
    if (*row < 0 || *row >= static_cast<int>(Send(*list, LVM_GETITEMCOUNT, 0, 0))) {
        PrintError(L"the list has no row " + std::to_wstring(*row));
        return kFailed;
    }
    RemoteBuffer buffer(*list, sizeof(LVITEMW));
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(*tick ? 2 : 1);
    if (!buffer.Valid() || !buffer.Write(0, &item, sizeof item)) {
        PrintError(L"cannot reach the list's process");
        return kFailed;
    }
    Send(*list, LVM_SETITEMSTATE, static_cast<WPARAM>(*row), reinterpret_cast<LPARAM>(buffer.Address()));
    return kOk;
}

int WaitForEnabled(const CommandArgs& args) {
    const auto parsed = Parse(args, {L"timeout"});
    if (!parsed) return kUsage;
    const auto control = ControlOf(*parsed, 3);
    const auto timeout = TimeoutOf(*parsed);
    if (!control || !timeout) return kFailed;
    const auto wanted = NumberAt(*parsed, 2);
    if (!wanted) return kUsage;
    const bool ok = WaitUntil(*timeout, [&] {
        const bool enabled = IsWindowEnabled(*control) && IsWindowVisible(*control);
        return enabled == (*wanted != 0);
    });
    if (!ok) {
        PrintError(L"control " + parsed->Positional()[1] + L" did not become " + (*wanted ? L"enabled" : L"disabled") +
                   L" within " + std::to_wstring(*timeout) + L" ms");
        return kFailed;
    }
    return kOk;
}

int WaitForRows(const CommandArgs& args) {
    const auto parsed = Parse(args, {L"timeout"});
    if (!parsed) return kUsage;
    const auto list = ControlOf(*parsed, 3);
    const auto timeout = TimeoutOf(*parsed);
    if (!list || !timeout) return kFailed;
    const auto least = NumberAt(*parsed, 2);
    if (!least) return kUsage;
    int rows = 0;
    if (!WaitUntil(*timeout, [&] {
            rows = static_cast<int>(Send(*list, LVM_GETITEMCOUNT, 0, 0));
            return rows >= *least;
        })) {
        PrintError(L"the list has " + std::to_wstring(rows) + L" rows after " + std::to_wstring(*timeout) +
                   L" ms, not " + std::to_wstring(*least));
        return kFailed;
    }
    PrintLine(std::to_wstring(rows));
    return kOk;
}

}  // namespace scdrive

namespace scdrive {

int PrintForeground(const CommandArgs& args) {
    const auto parsed = Parse(args, {});
    if (!parsed) return kUsage;
    PrintLine(FormatHandle(GetForegroundWindow()));
    return kOk;
}

int ActivateWindow(const CommandArgs& args) {
    const auto parsed = Parse(args, {});
    if (!parsed) return kUsage;
    const auto window = parsed->Positional().size() == 1 ? ParseHandle(parsed->Positional()[0]) : std::nullopt;
    if (!window || !IsWindow(*window)) {
        PrintError(L"activate needs a window handle");
        return kUsage;
    }
    if (!SetForegroundWindow(*window)) {
        PrintError(L"the window could not be brought to the foreground");
        return kFailed;
    }
    return kOk;
}

int PrintLayout(const CommandArgs& args) {
    const auto parsed = Parse(args, {});
    if (!parsed) return kUsage;
    const auto window = parsed->Positional().size() == 1 ? ParseHandle(parsed->Positional()[0]) : std::nullopt;
    if (!window || !IsWindow(*window)) {
        PrintError(L"layout needs a window handle");
        return kFailed;
    }
    const LONG_PTR style = GetWindowLongPtrW(*window, GWL_EXSTYLE);
    // A message box reads right to left through its text control rather than its frame.
    bool rtlReading = (style & WS_EX_RTLREADING) != 0;
    bool rightAligned = false;
    for (HWND child : ChildrenOf(*window)) {
        rtlReading = rtlReading || (GetWindowLongPtrW(child, GWL_EXSTYLE) & WS_EX_RTLREADING);
        if (ClassNameOf(child) == L"Static")
            rightAligned = rightAligned || (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_RIGHT;
    }
    std::wstring line = (style & WS_EX_LAYOUTRTL) ? L"mirrored" : L"unmirrored";
    line += rtlReading ? L" right-to-left-reading" : L"";
    line += rightAligned ? L" right-aligned" : L"";
    PrintLine(line);
    return kOk;
}

}  // namespace scdrive
