#pragma once
// Whether the PC has the power to see a firmware transfer through: one cut off by an empty battery
// can leave the printer unusable, so a portable PC on battery below a threshold does not start one.

#include <windows.h>

#include <functional>

namespace scup {

// Where the power status comes from: GetSystemPowerStatus unless a test puts in its own.
using PowerStatusSource = std::function<bool(SYSTEM_POWER_STATUS& status)>;
void SetPowerStatusSource(PowerStatusSource source);

// The machine-wide setting "BatteryThreshold" in percent: 25 when it is not set or not a number
// from 0 to 100; 0 turns the check off.
int BatteryThreshold();

// True on mains power, with the battery at or above the threshold, or when the PC cannot tell.
bool PowerEnoughForTransfer();

}  // namespace scup
