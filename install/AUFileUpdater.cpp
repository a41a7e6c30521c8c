#include "AUFileUpdater.h"

#include "common/Trace.h"
#include "ui/UpdaterDialog.h"

int CAUFileUpdater::GetUpdates(const std::wstring& printer, RefinedList& updates, CUpdaterDialog* dialog) {
    scup::TraceScope scope(L"CAUFileUpdater::GetUpdates()");
    if (!dialog) return 0;
    dialog->ShowProgress(1);
    scup::SetReadyFlag(dialog->m_bIdle, dialog->GetSafeHwnd(), 0);
    scup::AUTrace(L"Printer count in Update List : %d", static_cast<int>(updates.size()));
    scup::AUTrace(L"Firmware count for printer : %s is %d", printer.c_str(),
                  static_cast<int>(updates[printer].size()));
    dialog->ShowProgress(0);
    dialog->SetUpdates(updates);
    scup::SetReadyFlag(dialog->m_bIdle, dialog->GetSafeHwnd(), 1);
    return 0;
}

int CAUFileUpdater::InstallUpdates(const RefinedList*, const std::wstring&, CUpdaterDialog*) {
    scup::AUTrace(L"Failed: this build installs no updates.");
    return kNothingDone;
}
