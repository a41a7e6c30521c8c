#pragma once
// Fetches one file the program is about to use: first its signed statement (the file's address with
// ".sig" added), then the file itself, never longer than the statement's size, under a passing name;
// it gets its own name only once its size and SHA-256 are the signed ones. Where the PC's policy
// turns signatures off, the file alone is fetched, up to the limit the caller gives.
//
// Used on the update thread, for the description packages, the packages and the updater's own.

#include <string>

#include "install/PackageVerifier.h"
#include "install/TrustPolicy.h"
#include "server/AUConnection.h"

class CAUServerData;

struct SFetchResult {
    // NotVerified when the file or its statement did not pass; failure says why.
    ServerResult server = ServerResult::Success;
    VerifyFailure failure = VerifyFailure::None;
    std::wstring detail;
    SSignedStatement statement;
    // The statement as fetched, for a later check of the same file.
    std::string statementBytes;
    // Whether a statement vouches for the file (false where signatures are turned off).
    bool verified = false;
    std::wstring localPath;

    bool Succeeded() const { return server == ServerResult::Success; }
    // The reason in English, with what was wrong where it is known.
    std::wstring Reason() const;
};

class CVerifiedFetch {
  public:
    CVerifiedFetch(CAUServerData& server, const STrustPolicy& policy) : m_server(server), m_policy(policy) {}

    // Into the folder under the address's own file name. expected.file is filled from the address
    // when empty. unverifiedLimit bounds the file where signatures are off.
    SFetchResult Fetch(const std::wstring& url, SExpectedFile expected, const std::wstring& folder,
                       unsigned long long unverifiedLimit, const DownloadProgress& progress);

  private:
    ServerResult FetchStatement(const std::wstring& url, const std::wstring& folder, std::string& bytes);
    ServerResult Download(const std::wstring& url, const std::wstring& partial,
                          const DownloadProgress& progress, unsigned long long limit);

    CAUServerData& m_server;
    const STrustPolicy& m_policy;
};
