#pragma once
// One row of the main dialog's update list: the entry the row shows and what the entry's
// description package says about it. The row owns it; the installation and the firmware
// transfer read the ticked rows' records.

#include <windows.h>

#include <string>
#include <vector>

#include "common/FirmInfo.h"

struct SAUItemRecord {
    SAUExtFirmInfo info;
    std::wstring strTitle;
    std::wstring strVersion;
    std::wstring strSize;
    std::wstring strLink;
    std::wstring strDescription;
    // The title and description read right to left.
    int bRightToLeft = 0;
    std::vector<BYTE> thumbnail;
};
