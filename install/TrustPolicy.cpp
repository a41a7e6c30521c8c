#include "TrustPolicy.h"

#include "common/Profile.h"
#include "common/Resources.h"
#include "common/Trace.h"
#include "res/resource_ids.h"

using scup::AUTrace;

namespace {

std::vector<std::wstring> SplitCodes(const std::wstring& list) {
    std::vector<std::wstring> codes;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = list.find(L';', start);
        std::wstring code = list.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        const size_t first = code.find_first_not_of(L" \t");
        if (first != std::wstring::npos)
            codes.push_back(code.substr(first, code.find_last_not_of(L" \t") - first + 1));
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return codes;
}

}  // namespace

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
    policy.downgradeAllowed = SplitCodes(scup::ReadMachineSettingText(L"AllowDowngrade"));
    AUTrace(L"Signing keys trusted : %d; signatures %s.", static_cast<int>(policy.keys.Count()),
            policy.signaturesRequired ? L"required" : L"NOT required (turned off for this PC)");
    return policy;
}
