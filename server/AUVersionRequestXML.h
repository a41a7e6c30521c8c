#pragma once
// The version check request: which packages the server offers for one printer and query key.

#include <string>

#include "common/AUXMLParser.h"

class CAUVersionRequestXML {
  public:
    // Builds the request in a freshly constructed parser; 0 on success, 1 when an element could
    // not be created or the parser already holds a document.
    static int CreateVersionRequestXml(CAUXMLParser& parser, const std::wstring& printerName,
                                       const std::wstring& queryKey);
};
