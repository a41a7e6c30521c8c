#pragma once
// The rows a check offers in a view: the refined list's entries of one printer that belong to the
// view, each with what its description package says. Reading the packages unpacks archives, so
// it is done on the thread that did the check, never on a window's thread.

#include <windows.h>

#include <string>
#include <vector>

#include "DescriptionPackage.h"
#include "common/FirmInfo.h"
#include "install/UpdateItemRecord.h"

struct CUnzipHolder;

namespace scup {

struct SOfferedRows {
    // In the refined list's order.
    std::vector<SAUItemRecord> rows;
    // Why entries were left out (the first reason in DescriptionRead's order), or Read when none
    // was: a list left empty by it is no "up to date".
    DescriptionRead leftOut = DescriptionRead::Read;
};

// A refused description package (hostile, damaged) describes nothing to offer: its entry is left
// out and traced. An entry without a package is offered under its name.
SOfferedRows ReadOfferedRows(const CUnzipHolder* unzip, const RefinedList& updates,
                             const std::wstring& printer, bool firmware, LCID locale);

// Whether the refined list offers the printer firmware.
bool HasFirmwareEntries(const RefinedList& updates, const std::wstring& printer);

}  // namespace scup
