#include "SystemVersion.h"

namespace scup {

bool ReadSystemVersion(OSVERSIONINFOEXW& version) {
    using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto getVersion = ntdll ? reinterpret_cast<RtlGetVersionCall>(
                                        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                                  : nullptr;
    version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    return getVersion && getVersion(&version) == 0;
}

}  // namespace scup
