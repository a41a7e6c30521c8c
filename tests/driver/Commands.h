#pragma once
// The subcommands of scdrive. Each returns the process exit code: 0 on success, kFailed when the
// windows are not as asked for (or did not become so in time), kUsage for a malformed call.

#include <string>
#include <vector>

namespace scdrive {

inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

using CommandArgs = std::vector<std::wstring>;

int WaitForPropertyWindow(const CommandArgs& args);
int WaitForDialog(const CommandArgs& args);
int PrintRect(const CommandArgs& args);
int CloseMessageBoxes(const CommandArgs& args);
int ClickControl(const CommandArgs& args);
int PrintControlText(const CommandArgs& args);
int ListWindows(const CommandArgs& args);

// Acting on one control (ControlCommands.cpp).
int PrintEnabled(const CommandArgs& args);
int TypeText(const CommandArgs& args);
int ChooseItem(const CommandArgs& args);
int SendMenuCommand(const CommandArgs& args);
int PrintMenuState(const CommandArgs& args);
int PrintRows(const CommandArgs& args);
int TickRow(const CommandArgs& args);
int WaitForEnabled(const CommandArgs& args);
int WaitForRows(const CommandArgs& args);
int PrintForeground(const CommandArgs& args);
int ActivateWindow(const CommandArgs& args);
int PrintLayout(const CommandArgs& args);

}  // namespace scdrive
