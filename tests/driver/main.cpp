// scdrive: finds and drives ScUpdater's windows from outside the program, for screenshots and
// end-to-end runs under Wine. Run "scdrive help" for the subcommands.

#include <windows.h>

#include <string>
#include <vector>

#include "Commands.h"
#include "Output.h"

namespace {

struct Subcommand {
    const wchar_t* name;
    int (*run)(const scdrive::CommandArgs&);
    const wchar_t* usage;
};

constexpr Subcommand kSubcommands[] = {
    {L"wait", scdrive::WaitForPropertyWindow, L"wait --prop NAME [--timeout ms]"},
    {L"wait-dialog", scdrive::WaitForDialog,
     L"wait-dialog [--text-contains TEXT] [--class CLASS] [--owner HWND] [--owner-prop NAME] [--timeout ms]"},
    {L"rect", scdrive::PrintRect, L"rect HWND"},
    {L"close-messageboxes", scdrive::CloseMessageBoxes, L"close-messageboxes [--timeout ms] [--quiet ms]"},
    {L"click", scdrive::ClickControl, L"click HWND ID"},
    {L"text", scdrive::PrintControlText, L"text HWND ID"},
    {L"list-windows", scdrive::ListWindows, L"list-windows"},
    {L"enabled", scdrive::PrintEnabled, L"enabled HWND ID            (prints 1 or 0)"},
    {L"type", scdrive::TypeText, L"type HWND ID TEXT"},
    {L"choose", scdrive::ChooseItem, L"choose HWND ID INDEX|TEXT   (combo box, as picked and closed up)"},
    {L"command", scdrive::SendMenuCommand, L"command HWND ID            (a menu command; refused when disabled)"},
    {L"menu-state", scdrive::PrintMenuState, L"menu-state HWND ID         (prints 1 enabled or 0)"},
    {L"rows", scdrive::PrintRows, L"rows HWND ID               (list rows: [x] or [ ], then the cells, tab-separated)"},
    {L"tick", scdrive::TickRow, L"tick HWND ID ROW 0|1"},
    {L"wait-enabled", scdrive::WaitForEnabled, L"wait-enabled HWND ID 0|1 [--timeout ms]"},
    {L"foreground", scdrive::PrintForeground, L"foreground                 (the foreground window)"},
    {L"activate", scdrive::ActivateWindow, L"activate HWND              (brings the window to the foreground)"},
    {L"layout", scdrive::PrintLayout, L"layout HWND                (mirrored|unmirrored [right-to-left-reading] [right-aligned])"},
    {L"wait-rows", scdrive::WaitForRows, L"wait-rows HWND ID COUNT [--timeout ms]   (at least COUNT rows)"},
};

void PrintUsage() {
    for (const auto& command : kSubcommands) scdrive::PrintError(std::wstring(L"usage: scdrive ") + command.usage);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        PrintUsage();
        return scdrive::kUsage;
    }
    const std::wstring name = argv[1];
    const scdrive::CommandArgs args(argv + 2, argv + argc);
    for (const auto& command : kSubcommands)
        if (name == command.name) return command.run(args);
    if (name != L"help") scdrive::PrintError(L"unknown subcommand \"" + name + L"\"");
    PrintUsage();
    return name == L"help" ? scdrive::kOk : scdrive::kUsage;
}
