#pragma once
// What this PC trusts: the maker's keys from the resource library, an IT department's own keys from
// the machine-wide settings ("SigningKeys", Base64 keys separated by ';'), whether a signature is
// required at all ("SignatureCheck" = "off" turns the requirement off for a legacy server; only the
// machine-wide settings can, never a user's) and the packages IT lets go back to an older version
// ("AllowDowngrade", package codes separated by ';'). The publishers whose Authenticode signature an
// installer or the updater must carry: the maker's, from the resource library, and an IT department's
// own ("Publishers", names separated by ';').

#include <string>
#include <vector>

#include "install/TrustedKeys.h"

struct STrustPolicy {
    CTrustedKeys keys;
    bool signaturesRequired = true;
    std::vector<std::wstring> downgradeAllowed;
    std::vector<std::wstring> publishers;

    bool MayDowngrade(const std::wstring& package) const;
};

// Read afresh at each call: an administrator's change holds from the next check on.
STrustPolicy LoadTrustPolicy();
