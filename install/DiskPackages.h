#pragma once
// Firmware packages the user opened from disk, sent to the printer. Each ticked package is
// unpacked into a temporary folder of its own, and the firmware files ("*.pd3") of the packages
// that could be read go to the printers of the driver in one transfer; a package that cannot be
// read is named in a message and left out. The view is hidden while the packages are unpacked
// and sent, and shown again afterwards. Runs on the view's thread: the transfer's own dialogs keep
// it answering.

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "UpdateListView.h"

struct CUnzipHolder;

namespace scup {

// Sends firmware files to the printers of a driver; kFirmTransferSent when the printer took them.
using FirmwareTransfer =
    std::function<int(const std::wstring& driver, const std::vector<std::wstring>& files)>;

struct SDiskPackagesSend {
    const CUnzipHolder* unzip = nullptr;
    std::wstring printer;
    FirmwareTransfer transfer;
    LANGID language = 0;
};

// The rows of the view whose packages went to the printer, in list order; none when nothing was
// sent. A ticked package that is no longer on the disk stops the whole run before anything else.
std::vector<int> SendDiskPackages(IUpdateListView& view, const SDiskPackagesSend& send,
                                  std::atomic<bool>& keepAwake);

}  // namespace scup
