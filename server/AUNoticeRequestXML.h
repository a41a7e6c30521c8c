#pragma once
// The notice request: asks whether a newer updater exists, presenting the updater as a model of
// its own with a dummy firmware entry, plus this PC's operating system and locale.

#include <string>

#include "common/AUXMLParser.h"

class CAUNoticeRequestXML {
  public:
    // Builds the request in a freshly constructed parser; 0 on success, 1 when an element could
    // not be created or the parser already holds a document.
    static int CreateNoticeRequestXml(CAUXMLParser& parser, const std::wstring& locale);

    // This PC's system as the server knows it, e.g. "W6_1_x64"; always 0.
    static int GetOSVersion(std::wstring& text);

    // "W<major>_<minor>", then "_Server" for a server system, then "_x64" for a 64-bit system.
    static std::wstring FormatOSVersion(unsigned major, unsigned minor, bool server, bool system64);
};
