#pragma once
// The command line: "N", "UPDATE <target> <source> <version>", "EDITOR <locale> <printer id>".

#include <functional>
#include <string>
#include <vector>

class CAUCommandLineInfo {
public:
    // Finds or adds the printer with a numeric identifier and gives its driver name (empty: none).
    using PrinterResolver = std::function<std::wstring(unsigned long printerId)>;

    explicit CAUCommandLineInfo(PrinterResolver resolver = {});

    // One parameter, with one leading "-" or "/" already removed (isFlag says so; it is not used).
    void ParseParam(const wchar_t* param, bool isFlag, bool isLast);

    bool m_bWaitForPrevious = false;
    bool m_bUpdate = false;
    bool m_bEditor = false;
    std::wstring m_strUpdateTarget;
    std::wstring m_strUpdateSource;
    std::wstring m_strUpdateVersion;
    long m_nEditorLCID = 0;
    std::wstring m_strEditorPrinter;

private:
    void StorePlainParameter(const std::wstring& param);

    PrinterResolver m_resolvePrinter;
};

// Feeds every argument after the program name to the record's hook.
void ParseCommandLine(CAUCommandLineInfo& info, const std::vector<std::wstring>& args);
// The arguments of the process command line after the program name.
std::vector<std::wstring> ProcessArguments();
