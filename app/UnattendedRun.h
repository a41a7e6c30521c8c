#pragma once
// A check, an install or a firmware transfer started from the command line with no window, as IT
// departments run it from the Task Scheduler or a deployment tool. It walks the dialogs' road with
// a fixed answer to every question: no message box appears (what it would have said goes into the
// report), a transfer is confirmed, a printer that does not answer is not asked for again, proxy
// credentials come only from the configuration, the self-upgrade is taken only with "-SELFUPDATE",
// and a running application is left alone and its update reported as skipped.
//
// Runs on the main thread, which does the update thread's work itself: no dialog waits on it.

#include <windows.h>

#include <string>
#include <vector>

#include "AUCommandLineInfo.h"
#include "UnattendedReport.h"
#include "install/UpdateListView.h"

class CAUFileUpdater;
class CScUpdaterApp;

class CUnattendedRun {
  public:
    // args: the command line's arguments, which a self-upgrade hands on to the new updater.
    CUnattendedRun(CScUpdaterApp& app, const CAUCommandLineInfo& commandLine, std::vector<std::wstring> args);

    // The whole run; the report is finished when it returns.
    UnattendedExit Run();
    // A run that cannot begin (another instance, no configuration): the report says why.
    UnattendedExit EndBeforeStart(UnattendedExit exit, const std::wstring& reason);
    const CUnattendedReport& Report() const { return m_report; }

    // The language a "-LANG" value names: one of the program's interface languages given by its
    // code ("de", "zh-CN") or its LANGID in decimal; 0 when it names none.
    static LANGID ResolveLanguage(const std::wstring& value);

  private:
    // The report's language: -LANG's, else IT's "UnattendedLanguage" where it names one.
    std::wstring ReportLanguage() const;
    // What one view's check left: the rows offered, and whether the check itself went through.
    struct SViewCheck {
        bool checked = false;
        RefinedList refined;
        SYSTEMTIME askedAt{};
        std::vector<SAUItemRecord> rows;
    };

    UnattendedExit RunTask();
    bool Connect();
    bool TookSelfUpgrade();
    SViewCheck CheckView(const std::wstring& printer, UpdateView view);
    bool ReadPrinterFiles(const std::wstring& printer) const;
    UnattendedExit InstallApplications(const std::wstring& printer, SViewCheck& check);
    UnattendedExit SendFirmware(const std::wstring& printer, SViewCheck& check);
    // The printer of "-FIRMWARE" (a driver name, or a model identifier in hexadecimal), else the
    // one family printer when there is only one; empty when neither.
    std::wstring FirmwarePrinter() const;
    void ReportOffered(const std::vector<SAUItemRecord>& rows);
    // The packages the updater refused: failed in step "verify", or skipped when only not newer.
    void ReportRefusals(const CAUFileUpdater& updater);
    UnattendedExit Finish(UnattendedExit exit);

    CScUpdaterApp& m_app;
    const CAUCommandLineInfo& m_commandLine;
    // -SELFUPDATE, or IT's "UnattendedSelfUpdate" = "1".
    bool m_selfUpdate = false;
    std::vector<std::wstring> m_args;
    CUnattendedReport m_report;
    // Packages refused for want of a valid signature so far.
    int m_refused = 0;
};
