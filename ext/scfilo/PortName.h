#pragma once
// The ports the library can drive, as the spooler names them.

#include <optional>
#include <string>

namespace scfilo {

struct PortAddress {
    enum class Kind { Serial, Usb };
    Kind kind = Kind::Serial;
    // n of "COMn" or of "USBnnn".
    unsigned number = 0;
    // The name without the maker's "SC" and without the colon, such as "COM5" or "USB001".
    std::wstring name;
};

// Reads "COMn", "USBnnn" and the maker's "SCCOMn" and "SCUSBnnn", with or without a colon, in any
// case. A printer's port text may list several ports ("COM5:,COM6:"); the first one that names
// such a port counts.
std::optional<PortAddress> ParsePortName(const std::wstring& portText);

}  // namespace scfilo
