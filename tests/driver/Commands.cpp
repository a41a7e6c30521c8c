#include "Commands.h"

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <set>

#include "Arguments.h"
#include "Output.h"
#include "WindowFinder.h"

namespace scdrive {
namespace {

// The program marks its own top-level windows with this property; a dialog without it is a
// message box or another prompt shown on top of them.
constexpr wchar_t kProgramWindowProperty[] = L"ScriboUpdaterWindow";

constexpr unsigned long kDefaultTimeoutMs = 10000;
constexpr unsigned long kDefaultQuietMs = 1000;
constexpr DWORD kPollMs = 100;
// A box that was answered normally disappears well within this; after it, it is answered again.
constexpr ULONGLONG kReclickAfterMs = 1000;
constexpr UINT kClickTimeoutMs = 5000;

// Buttons tried, in order, to answer a message box: accept it when it can be accepted, else
// take the way out that changes nothing.
constexpr int kAnswerButtons[] = {IDOK, IDCANCEL, IDNO};

// Parses a subcommand's arguments, rejecting names it does not know; prints why on failure.
std::optional<Arguments> ParseArguments(const CommandArgs& args, const std::set<std::wstring>& options,
                                        const std::set<std::wstring>& switches = {}) {
    Arguments parsed(args, switches);
    if (!parsed.Valid()) {
        PrintError(parsed.Error());
        return std::nullopt;
    }
    std::set<std::wstring> known = options;
    known.insert(switches.begin(), switches.end());
    for (const auto& name : parsed.UnknownNames(known)) {
        PrintError(L"unknown option --" + name);
        return std::nullopt;
    }
    return parsed;
}

std::optional<unsigned long> MillisecondsOption(const Arguments& args, const std::wstring& name,
                                                unsigned long fallback) {
    const auto text = args.Option(name);
    if (!text) return fallback;
    const auto value = ParseNumber(*text);
    if (!value) PrintError(L"--" + name + L" needs a number of milliseconds, not \"" + *text + L"\"");
    return value;
}

std::optional<HWND> WindowArgument(const std::wstring& text) {
    const auto window = ParseHandle(text);
    if (!window) {
        PrintError(L"\"" + text + L"\" is not a window handle");
        return std::nullopt;
    }
    if (!IsWindow(*window)) {
        PrintError(L"no window " + text);
        return std::nullopt;
    }
    return window;
}

// A window's control with the id, or else the first control with it inside one of its controls
// (a note shown over a list is the list's child).
HWND DescendantWithId(HWND window, int id) {
    if (HWND control = GetDlgItem(window, id)) return control;
    struct Search {
        int id;
        HWND found;
    } search{id, nullptr};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (GetDlgCtrlID(child) != s->id) return TRUE;
            s->found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The control with the given id inside a window, both taken from positional arguments.
std::optional<HWND> ControlArguments(const Arguments& args) {
    if (args.Positional().size() != 2) {
        PrintError(L"expected a window handle and a control id");
        return std::nullopt;
    }
    const auto window = WindowArgument(args.Positional()[0]);
    if (!window) return std::nullopt;
    const auto id = ParseNumber(args.Positional()[1]);
    if (!id) {
        PrintError(L"\"" + args.Positional()[1] + L"\" is not a control id");
        return std::nullopt;
    }
    HWND control = DescendantWithId(*window, static_cast<int>(*id));
    if (!control) {
        PrintError(L"window " + args.Positional()[0] + L" has no control " + args.Positional()[1]);
        return std::nullopt;
    }
    return control;
}

std::wstring RectText(const WindowRect& rect) {
    return std::to_wstring(rect.x) + L" " + std::to_wstring(rect.y) + L" " + std::to_wstring(rect.width) +
           L" " + std::to_wstring(rect.height);
}

std::optional<HWND> PollFor(const WindowQuery& query, unsigned long timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (auto window = FindWindowMatching(query)) return window;
        if (GetTickCount64() >= deadline) return std::nullopt;
        Sleep(kPollMs);
    }
}

int WaitAndPrint(const WindowQuery& query, unsigned long timeoutMs, const std::wstring& what) {
    const auto window = PollFor(query, timeoutMs);
    if (!window) {
        PrintError(L"timed out after " + std::to_wstring(timeoutMs) + L" ms waiting for " + what);
        return kFailed;
    }
    const auto rect = RectOf(*window);
    if (!rect) {
        PrintError(what + L" went away before its rectangle could be read");
        return kFailed;
    }
    PrintLine(FormatHandle(*window) + L" " + RectText(*rect));
    return kOk;
}

// A window that shows progress (the program's check and download panel) asks nothing: its Cancel
// would stop the work, which is no answer to a message.
bool ShowsProgress(HWND window) {
    for (HWND child : ChildrenOf(window))
        if (ClassNameOf(child) == L"msctls_progress32") return true;
    return false;
}

bool IsMessageBox(HWND window) {
    return IsDialogWindow(window) && !HasProperty(window, kProgramWindowProperty) && !ShowsProgress(window);
}

std::vector<HWND> OpenMessageBoxes() {
    std::vector<HWND> boxes;
    for (HWND window : VisibleTopLevelWindows())
        if (IsMessageBox(window)) boxes.push_back(window);
    return boxes;
}

std::wstring MessageTextOf(HWND box) {
    for (HWND child : ChildrenOf(box)) {
        if (ClassNameOf(child) != L"Static") continue;
        std::wstring text = TextOf(child);
        if (!text.empty()) return text;
    }
    return {};
}

std::optional<int> AnswerButtonOf(HWND box) {
    for (int id : kAnswerButtons) {
        HWND button = GetDlgItem(box, id);
        if (button && IsWindowEnabled(button)) return id;
    }
    return std::nullopt;
}

// BM_CLICK runs the click in the window's own thread. A click that opens a modal dialog does not
// return until that dialog ends, so a time-out here still means the click was delivered.
bool SendClick(HWND button) {
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kClickTimeoutMs, &result)) return true;
    return GetLastError() == ERROR_TIMEOUT && IsWindow(button) &&
           !IsHungAppWindow(GetAncestor(button, GA_ROOT));
}

bool AnswerMessageBox(HWND box) {
    const auto id = AnswerButtonOf(box);
    if (!id) {
        PrintError(L"message box " + FormatHandle(box) + L" has no enabled OK, Cancel or No button");
        return false;
    }
    const std::wstring text = MessageTextOf(box);
    if (!SendClick(GetDlgItem(box, *id))) {
        PrintError(L"could not click button " + std::to_wstring(*id) + L" of message box " +
                   FormatHandle(box));
        return false;
    }
    PrintLine(L"closed " + FormatHandle(box) + L" button " + std::to_wstring(*id) + L" \"" + text + L"\"");
    return true;
}

void DescribeWindow(HWND window) {
    const auto rect = RectOf(window).value_or(WindowRect{});
    PrintLine(FormatHandle(window) + L" pid " + std::to_wstring(ProcessIdOf(window)) + L" class \"" +
              ClassNameOf(window) + L"\" prop " +
              (HasProperty(window, kProgramWindowProperty) ? L"1" : L"0") + L" enabled " +
              (IsWindowEnabled(window) ? L"1" : L"0") + L" owner " +
              FormatHandle(GetWindow(window, GW_OWNER)) + L" rect " + RectText(rect) + L" title \"" +
              TextOf(window) + L"\"");
}

}  // namespace

int WaitForPropertyWindow(const CommandArgs& args) {
    const auto parsed = ParseArguments(args, {L"prop", L"timeout"});
    if (!parsed) return kUsage;
    const auto property = parsed->Option(L"prop");
    if (!property || property->empty()) {
        PrintError(L"wait needs --prop NAME");
        return kUsage;
    }
    const auto timeout = MillisecondsOption(*parsed, L"timeout", kDefaultTimeoutMs);
    if (!timeout) return kUsage;
    WindowQuery query;
    query.property = *property;
    query.mustBeEnabled = true;
    return WaitAndPrint(query, *timeout, L"an enabled window with property " + *property);
}

int WaitForDialog(const CommandArgs& args) {
    const auto parsed =
        ParseArguments(args, {L"text-contains", L"class", L"owner", L"owner-prop", L"timeout"});
    if (!parsed) return kUsage;
    const auto timeout = MillisecondsOption(*parsed, L"timeout", kDefaultTimeoutMs);
    if (!timeout) return kUsage;
    WindowQuery query;
    query.textContains = parsed->Option(L"text-contains").value_or(L"");
    query.className = parsed->Option(L"class").value_or(L"");
    query.ownerProperty = parsed->Option(L"owner-prop").value_or(L"");
    if (const auto owner = parsed->Option(L"owner")) {
        const auto window = WindowArgument(*owner);
        if (!window) return kFailed;
        query.owner = *window;
    }
    if (query.textContains.empty() && query.className.empty() && query.ownerProperty.empty() &&
        !query.owner) {
        PrintError(L"wait-dialog needs --text-contains, --class, --owner or --owner-prop");
        return kUsage;
    }
    return WaitAndPrint(query, *timeout, L"the dialog asked for");
}

int PrintRect(const CommandArgs& args) {
    const auto parsed = ParseArguments(args, {});
    if (!parsed) return kUsage;
    if (parsed->Positional().size() != 1) {
        PrintError(L"rect needs a window handle");
        return kUsage;
    }
    const auto window = WindowArgument(parsed->Positional()[0]);
    if (!window) return kFailed;
    const auto rect = RectOf(*window);
    if (!rect) {
        PrintError(L"could not read the rectangle of " + parsed->Positional()[0]);
        return kFailed;
    }
    PrintLine(RectText(*rect));
    return kOk;
}

int CloseMessageBoxes(const CommandArgs& args) {
    const auto parsed = ParseArguments(args, {L"timeout", L"quiet"});
    if (!parsed) return kUsage;
    const auto timeout = MillisecondsOption(*parsed, L"timeout", kDefaultTimeoutMs);
    const auto quiet = MillisecondsOption(*parsed, L"quiet", kDefaultQuietMs);
    if (!timeout || !quiet) return kUsage;

    const ULONGLONG deadline = GetTickCount64() + *timeout;
    ULONGLONG lastSeen = GetTickCount64();
    std::map<HWND, ULONGLONG> answeredAt;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const auto boxes = OpenMessageBoxes();
        if (!boxes.empty()) lastSeen = now;
        for (HWND box : boxes) {
            auto answered = answeredAt.find(box);
            if (answered != answeredAt.end() && now - answered->second < kReclickAfterMs) continue;
            if (!AnswerMessageBox(box)) return kFailed;
            answeredAt[box] = now;
        }
        if (boxes.empty() && now - lastSeen >= *quiet) return kOk;
        if (now >= deadline) {
            PrintError(L"message boxes still open after " + std::to_wstring(*timeout) + L" ms");
            for (HWND box : boxes) DescribeWindow(box);
            return kFailed;
        }
        Sleep(kPollMs);
    }
}

int ClickControl(const CommandArgs& args) {
    const auto parsed = ParseArguments(args, {});
    if (!parsed) return kUsage;
    const auto control = ControlArguments(*parsed);
    if (!control) return kFailed;
    // A user cannot click a disabled or hidden control either; saying so beats a silent no-op.
    if (!IsWindowEnabled(*control) || !IsWindowVisible(*control)) {
        PrintError(L"control " + parsed->Positional()[1] + L" is disabled or hidden");
        return kFailed;
    }
    if (!SendClick(*control)) {
        PrintError(L"could not click control " + parsed->Positional()[1]);
        return kFailed;
    }
    return kOk;
}

int PrintControlText(const CommandArgs& args) {
    const auto parsed = ParseArguments(args, {});
    if (!parsed) return kUsage;
    const auto control = ControlArguments(*parsed);
    if (!control) return kFailed;
    PrintLine(TextOf(*control));
    return kOk;
}

int ListWindows(const CommandArgs& args) {
    const auto parsed = ParseArguments(args, {});
    if (!parsed) return kUsage;
    for (HWND window : VisibleTopLevelWindows()) DescribeWindow(window);
    return kOk;
}

}  // namespace scdrive
