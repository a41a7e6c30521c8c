#include "AUCommandLineInfo.h"

#include <windows.h>
#include <shellapi.h>

#include "common/Format.h"

CAUCommandLineInfo::CAUCommandLineInfo(PrinterResolver resolver) : m_resolvePrinter(std::move(resolver)) {}

void CAUCommandLineInfo::ParseParam(const wchar_t* param, bool, bool) {
    const std::wstring text(param ? param : L"");
    if (text == L"N") {
        m_bWaitForPrevious = true;
    } else if (text == L"UPDATE") {
        m_bWaitForPrevious = true;
        m_bUpdate = true;
    } else if (text == L"EDITOR") {
        m_bEditor = true;
    } else {
        StorePlainParameter(text);
    }
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

void ParseCommandLine(CAUCommandLineInfo& info, const std::vector<std::wstring>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        const bool isFlag = !arg.empty() && (arg[0] == L'-' || arg[0] == L'/');
        const std::wstring param = isFlag ? arg.substr(1) : arg;
        info.ParseParam(param.c_str(), isFlag, i + 1 == args.size());
    }
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
