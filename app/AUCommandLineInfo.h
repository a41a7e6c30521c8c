#pragma once
// The command line: "N", "UPDATE <target> <source> <version>", "EDITOR <locale> <printer id>", and
// the unattended runs of IT departments: "CHECK", "INSTALL <ALL|codes>", "FIRMWARE <printer>", with
// "REPORT <file>", "LANG <language>" and "SELFUPDATE".

#include <functional>
#include <string>
#include <vector>

// What an unattended run does; None is the dialogs' road.
enum class UnattendedTask { None, Check, Install, Firmware };

class CAUCommandLineInfo {
public:
    // Finds or adds the printer with a numeric identifier and gives its driver name (empty: none).
    using PrinterResolver = std::function<std::wstring(unsigned long printerId)>;

    explicit CAUCommandLineInfo(PrinterResolver resolver = {});

    // One parameter, with one leading "-" or "/" already removed (isFlag says so; it is not used).
    void ParseParam(const wchar_t* param, bool isFlag, bool isLast);
    // Whether the last switch takes the next argument as its value, as it stands (a file name may
    // begin with "/"); TakeValue gives it.
    bool WantsValue() const { return m_pending != Pending::None; }
    void TakeValue(const std::wstring& value);
    // After the last argument: a switch still waiting for its value makes the command line bad.
    void Finish();

    bool m_bWaitForPrevious = false;
    bool m_bUpdate = false;
    bool m_bEditor = false;
    std::wstring m_strUpdateTarget;
    std::wstring m_strUpdateSource;
    std::wstring m_strUpdateVersion;
    long m_nEditorLCID = 0;
    std::wstring m_strEditorPrinter;

    UnattendedTask m_unattended = UnattendedTask::None;
    // "INSTALL ALL", or the package codes of "INSTALL A,B" (upper case, no blanks, no repeats).
    bool m_bInstallAll = false;
    std::vector<std::wstring> m_installCodes;
    // The printer of "FIRMWARE": a driver name, or a model identifier in hexadecimal.
    std::wstring m_strFirmwarePrinter;
    std::wstring m_strReportFile;
    // The language of the report's texts: a code such as "de" or "ja", or a LANGID in decimal.
    std::wstring m_strReportLanguage;
    bool m_bSelfUpdate = false;
    // With "UPDATE": the unattended task and everything after it, as given, for the updater that
    // the update starts at its end (a self-upgrade taken by an unattended run goes on with its task).
    std::vector<std::wstring> m_followUp;
    // A command line an unattended run cannot follow; the reason in English for the console.
    bool m_bBadCommandLine = false;
    std::wstring m_strBadCommandLine;
    // The first parameter that is none of the program's (outside "UPDATE" and "EDITOR").
    std::wstring m_strUnknownParameter;

  private:
    void StorePlainParameter(const std::wstring& param);
    // The switch whose value the next argument is.
    enum class Pending { None, InstallList, FirmwarePrinter, ReportFile, ReportLanguage };
    void StartTask(UnattendedTask task);
    void Refuse(const std::wstring& reason);

    PrinterResolver m_resolvePrinter;
    Pending m_pending = Pending::None;
    std::wstring m_pendingSwitch;
};

// Feeds every argument after the program name to the record's hook.
void ParseCommandLine(CAUCommandLineInfo& info, const std::vector<std::wstring>& args);
// The arguments of the process command line after the program name.
std::vector<std::wstring> ProcessArguments();
// The package codes of an install list: split at commas, trimmed, upper case, each once; empty
// when an item is empty or holds a blank.
std::vector<std::wstring> SplitPackageCodes(const std::wstring& list);
