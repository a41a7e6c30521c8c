#include "TrustPolicy.h"

#include "common/Profile.h"
#include "common/Resources.h"
#include "common/Text.h"
#include "common/Trace.h"
#include "res/resource_ids.h"

using scup::AUTrace;

bool STrustPolicy::MayDowngrade(const std::wstring& package) const {
    for (const std::wstring& code : downgradeAllowed)
        if (_wcsicmp(code.c_str(), package.c_str()) == 0) return true;
    return false;
}

STrustPolicy LoadTrustPolicy() {
    STrustPolicy policy;
    for (UINT id = IDS_SIGNING_KEY_FIRST; id <= IDS_SIGNING_KEY_LAST; ++id) {
        const std::wstring text = scup::LoadResString(id);
        if (text.empty()) continue;
        if (const auto key = CTrustedKeys::FromBase64(text))
            policy.keys.Add(*key);
        else
            AUTrace(L"Failed: the resource library's signing key %u is no key; it is not trusted.", id);
    }
    if (!policy.keys.AddList(scup::ReadMachineSettingText(L"SigningKeys")))
        AUTrace(L"Failed: a key of the machine's \"SigningKeys\" is no key; it is not trusted.");
    const std::wstring check = scup::ReadMachineSettingText(L"SignatureCheck");
    policy.signaturesRequired = _wcsicmp(check.c_str(), L"off") != 0;
    policy.downgradeAllowed = scup::SplitList(scup::ReadMachineSettingText(L"AllowDowngrade"), L';');
    const std::wstring maker = scup::LoadResString(IDS_CODE_PUBLISHER);
    if (!maker.empty()) policy.publishers.push_back(maker);
    for (const std::wstring& publisher : scup::SplitList(scup::ReadMachineSettingText(L"Publishers"), L';'))
        policy.publishers.push_back(publisher);
    AUTrace(L"Signing keys trusted : %d; signatures %s.", static_cast<int>(policy.keys.Count()),
            policy.signaturesRequired ? L"required" : L"NOT required (turned off for this PC)");
    return policy;
}
