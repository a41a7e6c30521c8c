#pragma once
// Fetches the newer updater that the server announces: asks the server where it lies (the notice
// exchange), downloads it into the download folder once the maker's signed statement vouches for
// it as the offered version, and checks its hash against the signed one and against the checksum
// of the answer. Only a package that passes both leaves here; any other download is deleted.

#include <windows.h>

#include <string>

#include "common/FirmInfo.h"
#include "server/ServerResult.h"

class CScUpdaterApp;

class CAUAppUpgrader {
  public:
    // Results of Execute.
    static constexpr int kFailed = 1;         // not obtained or not verified (or the user cancelled)
    static constexpr int kExitRequested = 4;  // "EXIT_EVENT" was set when a failure came
    static constexpr int kDownloaded = 5;     // downloaded and verified
    static constexpr int kNoAddress = 6;      // the answer gives no usable download address

    // 5 with the package's path in outFilePath, else 1, 4 or 6. Failures other than a user's cancel
    // are told to the user (proxy refusal, then "server not reachable") unless exit was requested.
    int Execute(CScUpdaterApp* manager, const PrinterMap& printerMap, std::wstring& outFilePath,
                const std::wstring& printer);

    // Why the last package was refused (no valid signature, another version, a checksum that
    // differs); empty when none was.
    const std::wstring& Refusal() const { return m_strRefusal; }

  private:
    // Tells the user the package was refused, unless exit was requested; 1 or 4.
    int Refuse(LANGID language, const std::wstring& reason);

    // The error tail: 4 when exit was requested, else the messages and the code. serverResult is
    // the exchange that failed (Success when the failure was not the server's).
    static int Fail(LANGID language, int code, ServerResult serverResult);

    std::wstring m_strRefusal;
};
