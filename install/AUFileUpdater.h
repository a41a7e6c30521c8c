#pragma once
// Fetches what the refined list offers and installs what the user ticks.
//
// This build fetches no description packages and installs nothing yet: a check hands the list to
// the dialog as it is, and an installation reports that nothing was done.

#include <string>

#include "common/FirmInfo.h"

class CUpdaterDialog;

class CAUFileUpdater {
public:
    static constexpr int kNothingDone = 3;

    // 0 on success; fills the dialog with the list.
    int GetUpdates(const std::wstring& printer, RefinedList& updates, CUpdaterDialog* dialog);
    // 3 when nothing was done.
    int InstallUpdates(const RefinedList* updates, const std::wstring& printer, CUpdaterDialog* dialog);

    // The thread asked the system to stay awake and must undo it at exit.
    bool m_bKeepAwake = false;
};
