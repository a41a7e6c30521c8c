#pragma once
// The file update request: where the description package of one offered package lies.

#include "common/AUXMLParser.h"
#include "common/FirmInfo.h"

class CAUFileUpdateRequestXML {
  public:
    // Builds the request for the package in a freshly constructed parser; 0 on success, 1 when an
    // element could not be created or the parser already holds a document.
    static int CreateFileRequestXml(CAUXMLParser& parser, SAUExtFirmInfo package);
};
