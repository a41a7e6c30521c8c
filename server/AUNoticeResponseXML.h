#pragma once
// The notice answer: the newer updater, its display version, download address, size and checksum.

#include "common/AUXMLParser.h"
#include "common/ServerRecords.h"

class CAUNoticeResponseXML {
  public:
    // Reads the first model with order number 1 whose first "Firm" carries a "FirmUpdateTool".
    // 0 when all five values were found. On 1 the record is left as it was; an empty "FileSize"
    // leaves the file size as it was too.
    static int GetUpgraderInfo(const CAUXMLParser& parser, SAUUpgraderInfo& info);

  private:
    static int ReadUpgraderInfo(const CAUXMLParser& parser, SAUUpgraderInfo& info);
};
