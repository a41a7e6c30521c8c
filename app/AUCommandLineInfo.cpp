#include "AUCommandLineInfo.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cwctype>

#include "common/Format.h"

namespace {

constexpr const wchar_t* kUnattendedSwitches[] = {L"CHECK",  L"INSTALL", L"FIRMWARE",
                                                  L"REPORT", L"LANG",    L"SELFUPDATE"};

// The switches of unattended runs are taken in any case: a task scheduled with "-install all" must
// not open the dialogs on a PC nobody watches. "N", "UPDATE" and "EDITOR" keep their exact case.
std::wstring SwitchName(const std::wstring& text) {
    for (const wchar_t* known : kUnattendedSwitches)
        if (_wcsicmp(text.c_str(), known) == 0) return known;
    return text;
}

}  // namespace

CAUCommandLineInfo::CAUCommandLineInfo(PrinterResolver resolver) : m_resolvePrinter(std::move(resolver)) {}

void CAUCommandLineInfo::ParseParam(const wchar_t* param, bool isFlag, bool) {
    const std::wstring text = isFlag ? SwitchName(param ? param : L"") : std::wstring(param ? param : L"");
    if (text == L"N") {
        m_bWaitForPrevious = true;
    } else if (text == L"UPDATE") {
        m_bWaitForPrevious = true;
        m_bUpdate = true;
    } else if (text == L"EDITOR") {
        m_bEditor = true;
    } else if (text == L"CHECK") {
        StartTask(UnattendedTask::Check);
    } else if (text == L"INSTALL") {
        StartTask(UnattendedTask::Install);
        m_pending = Pending::InstallList;
    } else if (text == L"FIRMWARE") {
        StartTask(UnattendedTask::Firmware);
        m_pending = Pending::FirmwarePrinter;
    } else if (text == L"REPORT") {
        m_pending = Pending::ReportFile;
    } else if (text == L"LANG") {
        m_pending = Pending::ReportLanguage;
    } else if (text == L"SELFUPDATE") {
        m_bSelfUpdate = true;
    } else {
        if (!m_bUpdate && !m_bEditor && m_strUnknownParameter.empty())
            m_strUnknownParameter = (isFlag ? L"-" : L"") + text;
        StorePlainParameter(text);
        return;
    }
    if (WantsValue()) m_pendingSwitch = text;
}

// CHECK goes with either of the others (both check first); INSTALL and FIRMWARE exclude each other.
void CAUCommandLineInfo::StartTask(UnattendedTask task) {
    if (m_unattended == UnattendedTask::None || m_unattended == UnattendedTask::Check) {
        m_unattended = task;
    } else if (task != UnattendedTask::Check && task != m_unattended) {
        Refuse(L"INSTALL and FIRMWARE cannot be given together");
    } else if (task != UnattendedTask::Check) {
        Refuse(L"the switch is given twice");
    }
}

namespace {

bool IsUnattendedSwitch(const std::wstring& arg) {
    if (arg.empty() || (arg[0] != L'-' && arg[0] != L'/')) return false;
    const std::wstring name = SwitchName(arg.substr(1));
    for (const wchar_t* known : kUnattendedSwitches)
        if (name == known) return true;
    return false;
}

// A switch of the program with its one leading "-" or "/".
bool IsSwitch(const std::wstring& arg) {
    if (IsUnattendedSwitch(arg)) return true;
    const bool prefixed = !arg.empty() && (arg[0] == L'-' || arg[0] == L'/');
    const std::wstring name = prefixed ? arg.substr(1) : arg;
    for (const wchar_t* known : {L"N", L"UPDATE", L"EDITOR"})
        if (name == known) return prefixed;
    return false;
}

}  // namespace

void CAUCommandLineInfo::TakeValue(const std::wstring& value) {
    const Pending pending = m_pending;
    m_pending = Pending::None;
    if (value.empty()) return Refuse(L"-" + m_pendingSwitch + L" is given an empty value");
    // "-INSTALL -CHECK": the value is missing, and the switch after it still counts.
    if (IsSwitch(value)) {
        Refuse(L"-" + m_pendingSwitch + L" needs a value");
        const std::wstring name = value.substr(1);
        ParseParam(name.c_str(), true, false);
        return;
    }
    switch (pending) {
        case Pending::InstallList:
            if (_wcsicmp(value.c_str(), L"ALL") == 0) {
                m_bInstallAll = true;
            } else {
                m_installCodes = SplitPackageCodes(value);
                if (m_installCodes.empty())
                    Refuse(L"-INSTALL takes ALL or package codes separated by commas");
            }
            break;
        case Pending::FirmwarePrinter:
            m_strFirmwarePrinter = value;
            break;
        case Pending::ReportFile:
            m_strReportFile = value;
            break;
        case Pending::ReportLanguage:
            m_strReportLanguage = value;
            break;
        case Pending::None:
            break;
    }
}

void CAUCommandLineInfo::Finish() {
    if (WantsValue()) Refuse(L"-" + m_pendingSwitch + L" needs a value");
    m_pending = Pending::None;
    const bool reportOptions = !m_strReportFile.empty() || !m_strReportLanguage.empty() || m_bSelfUpdate;
    if (m_unattended == UnattendedTask::None && reportOptions && !m_bBadCommandLine)
        Refuse(L"-REPORT, -LANG and -SELFUPDATE go with -CHECK, -INSTALL or -FIRMWARE");
    if (m_unattended != UnattendedTask::None && (m_bUpdate || m_bEditor))
        Refuse(L"an unattended run cannot be an editor start or a self-update");
    // The dialogs' road ignores what it does not know; a task meant for no one's eyes does not
    // run on a guess at what a mistyped switch meant.
    if (m_unattended != UnattendedTask::None && !m_strUnknownParameter.empty())
        Refuse(L"the program does not know the parameter " + m_strUnknownParameter);
}

void CAUCommandLineInfo::Refuse(const std::wstring& reason) {
    // The first reason is the one the user is told.
    if (!m_bBadCommandLine) m_strBadCommandLine = reason;
    m_bBadCommandLine = true;
}

void CAUCommandLineInfo::StorePlainParameter(const std::wstring& param) {
    if (m_bUpdate) {
        for (std::wstring* slot : {&m_strUpdateTarget, &m_strUpdateSource, &m_strUpdateVersion}) {
            if (slot->empty()) {
                *slot = param;
                return;
            }
        }
        return;
    }
    if (!m_bEditor) return;
    if (m_nEditorLCID == 0) {
        m_nEditorLCID = scup::ParseDecimal(param);
    } else if (m_strEditorPrinter.empty() && m_resolvePrinter) {
        m_strEditorPrinter = m_resolvePrinter(scup::ParseHex(param));
    }
}

std::vector<std::wstring> SplitPackageCodes(const std::wstring& list) {
    std::vector<std::wstring> codes;
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(L',', start);
        std::wstring code =
            list.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        const size_t first = code.find_first_not_of(L" \t");
        const size_t last = code.find_last_not_of(L" \t");
        code = first == std::wstring::npos ? std::wstring() : code.substr(first, last - first + 1);
        if (code.empty() || code.find_first_of(L" \t") != std::wstring::npos) return {};
        std::transform(code.begin(), code.end(), code.begin(), [](wchar_t c) { return std::towupper(c); });
        if (std::find(codes.begin(), codes.end(), code) == codes.end()) codes.push_back(code);
        if (comma == std::wstring::npos) return codes;
        start = comma + 1;
    }
}

void ParseCommandLine(CAUCommandLineInfo& info, const std::vector<std::wstring>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (info.WantsValue()) {
            info.TakeValue(arg);
            continue;
        }
        if (info.m_bUpdate && (!info.m_followUp.empty() || IsUnattendedSwitch(arg))) {
            info.m_followUp.push_back(arg);
            continue;
        }
        const bool isFlag = !arg.empty() && (arg[0] == L'-' || arg[0] == L'/');
        const std::wstring param = isFlag ? arg.substr(1) : arg;
        info.ParseParam(param.c_str(), isFlag, i + 1 == args.size());
    }
    info.Finish();
}

std::vector<std::wstring> ProcessArguments() {
    std::vector<std::wstring> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return args;
    for (int i = 1; i < count; ++i) args.emplace_back(argv[i]);
    LocalFree(argv);
    return args;
}
