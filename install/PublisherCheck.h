#pragma once
// The second guard on what the program runs: an installer or the updater must carry an Authenticode
// signature whose digest matches the file, by a code-signing certificate that chains to an authority
// the PC trusts, issued to one of the publishers the PC trusts. The chain and the publisher's name
// are checked here, after WinVerifyTrust, because not every platform's WinVerifyTrust checks them
// (and some check no .msi digest at all): the signed statement's SHA-256 stays the first guard.

#include <string>
#include <vector>

enum class PublisherVerdict {
    Trusted = 0,
    NoSignature,
    BadDigest,
    UntrustedChain,
    OtherPublisher,
    Unreadable,
};

struct SPublisherCheck {
    PublisherVerdict verdict = PublisherVerdict::Unreadable;
    // The signer's name where a signature was found.
    std::wstring signer;
    // What went wrong, in English, for the trace and the IT report.
    std::wstring detail;

    bool Passed() const { return verdict == PublisherVerdict::Trusted; }
};

// publishers: the names a signer's certificate must give (exactly, its common name); none trusts
// nobody.
SPublisherCheck CheckPublisher(const std::wstring& path, const std::vector<std::wstring>& publishers);
