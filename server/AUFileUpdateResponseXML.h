#pragma once
// The file update answer: the version check value and the identifier and address of the package's
// description.

#include "common/AUXMLParser.h"
#include "common/ServerRecords.h"

class CAUFileUpdateResponseXML {
  public:
    // Reads "VersionCheck" and the first "Firm"'s "Id" and "Path" below the first
    // "FirmUpdateInfo"; 0 when all three were found. On 1 the record is left as it was.
    static int GetFileUpdateInfo(const CAUXMLParser& parser, SAUFileUpdateInfo& info);

  private:
    static int ReadFileUpdateInfo(const CAUXMLParser& parser, SAUFileUpdateInfo& info);
};
