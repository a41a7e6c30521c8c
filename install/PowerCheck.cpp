#include "PowerCheck.h"

#include "common/Format.h"
#include "common/Guarded.h"
#include "common/Profile.h"
#include "common/Text.h"
#include "common/Trace.h"

namespace scup {

namespace {

constexpr int kDefaultThreshold = 25;
constexpr BYTE kUnknown = 255;

Guarded<PowerStatusSource>& Source() {
    static Guarded<PowerStatusSource> source;
    return source;
}

bool ReadPowerStatus(SYSTEM_POWER_STATUS& status) {
    const PowerStatusSource source = Source().Get();
    return source ? source(status) : GetSystemPowerStatus(&status) != FALSE;
}

}  // namespace

void SetPowerStatusSource(PowerStatusSource source) { Source().Set(std::move(source)); }

int BatteryThreshold() {
    const std::wstring text = TrimBlanks(ReadMachineSettingText(L"BatteryThreshold"));
    if (text.empty() || text.find_first_not_of(L"0123456789") != std::wstring::npos || text.size() > 3)
        return kDefaultThreshold;
    const long value = ParseDecimal(text);
    return value <= 100 ? static_cast<int>(value) : kDefaultThreshold;
}

bool PowerEnoughForTransfer() {
    const int threshold = BatteryThreshold();
    if (threshold == 0) return true;
    SYSTEM_POWER_STATUS status{};
    if (!ReadPowerStatus(status)) return true;
    // Only a PC that says it runs on its battery, and how full the battery is, is held back.
    if (status.ACLineStatus != 0 || status.BatteryLifePercent == kUnknown) return true;
    if (status.BatteryLifePercent >= threshold) return true;
    AUTrace(L"Failed: the PC runs on its battery at %d %% (below %d %%)",
            static_cast<int>(status.BatteryLifePercent), threshold);
    return false;
}

}  // namespace scup
