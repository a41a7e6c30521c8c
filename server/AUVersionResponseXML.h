#pragma once
// The version check answer: the newest updater version and the packages offered per model.

#include <msxml2.h>

#include <string>

#include "common/AUXMLParser.h"
#include "common/FirmInfo.h"

class CAUVersionResponseXML {
  public:
    // The text of the first "Version" below the first "FirmUpdateToolInfo"; 1 when either is
    // missing, and the output is then left as it was.
    static int GetUpdaterVersion(const CAUXMLParser& parser, std::wstring& version);

    // Empties the list and fills it from every "Model" of the first "ModelInfo", one entry per
    // "Firm" under the key "<Id>_<Spec>"; a later entry with the same key replaces the earlier one.
    // 1 only when there is no "ModelInfo" or its models cannot be listed: a malformed model just
    // contributes less.
    static int GetPrinterFirmwareList(const CAUXMLParser& parser, ComponentList& packages);

    // Adds the packages of one "Model" element to the list; 0 when the list then holds any entry.
    // A "Firm" without "Id" ends the model; the entries stored before it stay.
    static int GetFirmData(const CAUXMLParser& parser, IXMLDOMNode* model, ComponentList& packages);
};
