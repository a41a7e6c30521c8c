#pragma once
// What an unattended run did, for the IT department: the JSON document of "-REPORT" (written whole
// or not at all) and the short summary for a console. Filled on the main thread as the run goes.
//
// Document: {"program", "version", "command", "started", "ended", "result": {"code", "name"},
// "server": {"reached", "reason"}, "signatures" ("required" or "off"), "printer", "offered": [{"id", "spec", "category", "title",
// "installed", "offered"}], "installed": [{"id", "title", "before", "after"}], "skipped": [{"id",
// "reason"}], "failed": [{"id", "step", "reason"}], "messages": [text...]}. The messages are what
// the dialogs would have shown, in the run's language.

#include <string>
#include <vector>

// How an unattended run ended: the process's exit code.
enum class UnattendedExit {
    Done = 0,  // all done, or nothing to do
    Failed = 1,
    BadCommandLine = 2,
    Cancelled = 3,
    PartlyDone = 4,
    ServerUnreachable = 5,
    AnotherInstance = 6,
};

// The name of the exit in the report ("done", "partly-done", ...).
const wchar_t* UnattendedExitName(UnattendedExit exit);

class CUnattendedReport {
  public:
    struct SOffered {
        std::wstring id, spec, category, title, installedVersion, offeredVersion;
    };
    struct SInstalled {
        std::wstring id, title, before, after;
    };
    struct SSkipped {
        std::wstring id, reason;
    };
    struct SFailed {
        std::wstring id, step, reason;
    };

    void SetCommand(std::wstring command) { m_command = std::move(command); }
    void SetProgramVersion(std::wstring version) { m_version = std::move(version); }
    void SetPrinter(std::wstring printer) { m_printer = std::move(printer); }
    void SetServer(bool reached, std::wstring reason);
    // Whether the run required the maker's signature on what it fetched ("signatures": "required"
    // or "off" in the document).
    void SetSignaturesRequired(bool required) { m_signaturesRequired = required; }
    void AddOffered(SOffered offered) { m_offered.push_back(std::move(offered)); }
    void AddInstalled(SInstalled installed) { m_installed.push_back(std::move(installed)); }
    void AddSkipped(SSkipped skipped) { m_skipped.push_back(std::move(skipped)); }
    void AddFailed(SFailed failed) { m_failed.push_back(std::move(failed)); }
    void AddMessage(std::wstring text) { m_messages.push_back(std::move(text)); }
    // Ends the report with the task's exit; returns the exit of the run.
    UnattendedExit Finish(UnattendedExit exit);

    UnattendedExit Exit() const { return m_exit; }
    const std::vector<SOffered>& Offered() const { return m_offered; }
    const std::vector<SInstalled>& Installed() const { return m_installed; }
    const std::vector<SSkipped>& Skipped() const { return m_skipped; }
    const std::vector<SFailed>& Failed() const { return m_failed; }

    // The document in UTF-8.
    std::string Json() const;
    // Three or four lines in English for a console: the result and the counts.
    std::wstring Summary() const;
    // Writes the document beside the path first and then puts it in the path's place in one rename:
    // a reader never finds half a report. False when it could not be written.
    bool WriteTo(const std::wstring& path) const;

  private:
    std::wstring m_command, m_version, m_printer, m_serverReason;
    std::wstring m_started = NowText();
    std::wstring m_ended;
    bool m_serverReached = false;
    bool m_signaturesRequired = true;
    UnattendedExit m_exit = UnattendedExit::Failed;
    std::vector<SOffered> m_offered;
    std::vector<SInstalled> m_installed;
    std::vector<SSkipped> m_skipped;
    std::vector<SFailed> m_failed;
    std::vector<std::wstring> m_messages;

    // The time in UTC as "2026-12-10T01:58:00Z".
    static std::wstring NowText();
};
