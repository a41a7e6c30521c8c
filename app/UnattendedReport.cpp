#include "UnattendedReport.h"

#include <windows.h>

#include "common/AppFiles.h"
#include "common/Format.h"
#include "common/JsonWriter.h"

using scup::CJsonWriter;
using scup::FormatText;

const wchar_t* UnattendedExitName(UnattendedExit exit) {
    switch (exit) {
        case UnattendedExit::Done:
            return L"done";
        case UnattendedExit::Failed:
            return L"failed";
        case UnattendedExit::BadCommandLine:
            return L"bad-command-line";
        case UnattendedExit::Cancelled:
            return L"cancelled";
        case UnattendedExit::PartlyDone:
            return L"partly-done";
        case UnattendedExit::ServerUnreachable:
            return L"server-unreachable";
        case UnattendedExit::AnotherInstance:
            return L"another-instance";
    }
    return L"failed";
}

std::wstring CUnattendedReport::NowText() {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return FormatText(L"%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour,
                      now.wMinute, now.wSecond);
}

void CUnattendedReport::SetServer(bool reached, std::wstring reason) {
    m_serverReached = reached;
    m_serverReason = std::move(reason);
}

UnattendedExit CUnattendedReport::Finish(UnattendedExit exit) {
    // The task done with a failure on the way (a newer updater that could not be installed) is
    // partly done: the exit code never says less than the report.
    m_exit = exit == UnattendedExit::Done && !m_failed.empty() ? UnattendedExit::PartlyDone : exit;
    m_ended = NowText();
    return m_exit;
}

std::string CUnattendedReport::Json() const {
    CJsonWriter json;
    json.BeginObject()
        .Key(L"program")
        .String(L"ScUpdater")
        .Key(L"version")
        .String(m_version)
        .Key(L"command")
        .String(m_command)
        .Key(L"started")
        .String(m_started)
        .Key(L"ended")
        .String(m_ended);
    json.Key(L"result")
        .BeginObject()
        .Key(L"code")
        .Number(static_cast<int>(m_exit))
        .Key(L"name")
        .String(UnattendedExitName(m_exit))
        .EndObject();
    json.Key(L"server")
        .BeginObject()
        .Key(L"reached")
        .Bool(m_serverReached)
        .Key(L"reason")
        .String(m_serverReason)
        .EndObject();
    json.Key(L"signatures").String(m_signaturesRequired ? L"required" : L"off");
    json.Key(L"printer").String(m_printer);
    json.Key(L"offered").BeginArray();
    for (const SOffered& offered : m_offered)
        json.BeginObject()
            .Key(L"id")
            .String(offered.id)
            .Key(L"spec")
            .String(offered.spec)
            .Key(L"category")
            .String(offered.category)
            .Key(L"title")
            .String(offered.title)
            .Key(L"installed")
            .String(offered.installedVersion)
            .Key(L"offered")
            .String(offered.offeredVersion)
            .EndObject();
    json.EndArray().Key(L"installed").BeginArray();
    for (const SInstalled& installed : m_installed)
        json.BeginObject()
            .Key(L"id")
            .String(installed.id)
            .Key(L"title")
            .String(installed.title)
            .Key(L"before")
            .String(installed.before)
            .Key(L"after")
            .String(installed.after)
            .EndObject();
    json.EndArray().Key(L"skipped").BeginArray();
    for (const SSkipped& skipped : m_skipped)
        json.BeginObject().Key(L"id").String(skipped.id).Key(L"reason").String(skipped.reason).EndObject();
    json.EndArray().Key(L"failed").BeginArray();
    for (const SFailed& failed : m_failed)
        json.BeginObject()
            .Key(L"id")
            .String(failed.id)
            .Key(L"step")
            .String(failed.step)
            .Key(L"reason")
            .String(failed.reason)
            .EndObject();
    json.EndArray().Key(L"messages").BeginArray();
    for (const std::wstring& message : m_messages) json.String(message);
    json.EndArray().EndObject();
    return json.Text();
}

std::wstring CUnattendedReport::Summary() const {
    std::wstring summary =
        FormatText(L"ScUpdater: %s (exit code %d)\r\n", UnattendedExitName(m_exit), static_cast<int>(m_exit));
    if (!m_serverReached && !m_serverReason.empty())
        summary += FormatText(L"  server not reached: %s\r\n", m_serverReason.c_str());
    if (!m_signaturesRequired)
        summary += L"  updates are NOT verified: the signature check is turned off on this PC\r\n";
    summary += FormatText(L"  offered %d, installed %d, skipped %d, failed %d\r\n",
                          static_cast<int>(m_offered.size()), static_cast<int>(m_installed.size()),
                          static_cast<int>(m_skipped.size()), static_cast<int>(m_failed.size()));
    for (const SFailed& failed : m_failed)
        summary += FormatText(L"  failed: %s (%s): %s\r\n", failed.id.c_str(), failed.step.c_str(),
                              failed.reason.c_str());
    return summary;
}

bool CUnattendedReport::WriteTo(const std::wstring& path) const { return scup::WriteFileWhole(path, Json()); }
