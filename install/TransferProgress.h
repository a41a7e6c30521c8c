#pragma once

#include <functional>

// A firmware transfer's progress callback: percent of the current file sent; 1 to go on, 0 to stop.
using TransferProgress = std::function<int(int percent)>;
