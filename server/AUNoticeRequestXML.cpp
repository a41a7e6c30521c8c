#include "AUNoticeRequestXML.h"

#include <windows.h>

#include "common/Format.h"
#include "common/SystemVersion.h"
#include "common/Trace.h"
#include "server/DocumentNodes.h"

using scup::RequestElement;

namespace {

// The server tells 64-bit systems by the suffix. A 64-bit program always runs on one; a 32-bit
// program asks whether it runs under the 64-bit system's emulation.
bool RunsOn64BitSystem() {
#ifdef _WIN64
    return true;
#else
    BOOL emulated = FALSE;
    return IsWow64Process(GetCurrentProcess(), &emulated) && emulated;
#endif
}

}  // namespace

std::wstring CAUNoticeRequestXML::FormatOSVersion(unsigned major, unsigned minor, bool server,
                                                  bool system64) {
    std::wstring text = scup::FormatText(L"W%u_%u", major, minor);
    if (server) text += L"_Server";
    if (system64) text += L"_x64";
    return text;
}

int CAUNoticeRequestXML::GetOSVersion(std::wstring& text) {
    scup::TraceScope scope(L"CAUNoticeRequestXML::GetOSVersion()");
    OSVERSIONINFOEXW version{};
    scup::ReadSystemVersion(version);
    const bool server = version.wProductType != VER_NT_WORKSTATION;
    text = FormatOSVersion(version.dwMajorVersion, version.dwMinorVersion, server, RunsOn64BitSystem());
    return CAUXMLParser::kSuccess;
}

int CAUNoticeRequestXML::CreateNoticeRequestXml(CAUXMLParser& parser, const std::wstring& locale) {
    scup::TraceScope scope(L"CAUNoticeRequestXML::CreateNoticeRequestXml()");
    std::wstring osVersion;
    GetOSVersion(osVersion);
    const RequestElement request(
        L"RequestInfo",
        {{L"Version", L"1.0", L"Failed: Creating RequestVer Node"},
         {L"FirmupdateToolSetting",
          {{L"OsInfo",
            {{L"Version", osVersion, L"Failed: Creating OSVersion Node"},
             {L"Locale", locale, L"Failed: Creating OSLocale Node"}}}}},
         {L"DisplayLevel", L"0", L"Failed: Creating Display Version Node"},
         {L"ModelInfo",
          {{L"Model",
            {{L"OrderNumber", L"1"},
             {L"Name", L"SC-UPDATER"},
             {L"Spec", L"USA_USA"},
             {L"FirmInfo", {{L"Firm", {{L"Category", L""}, {L"Id", L"DUMMY"}, {L"Version", L"0"}}}}}}}}}});
    return scup::BuildRequestDocument(parser, request);
}
