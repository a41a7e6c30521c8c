#include "AUFileUpdateRequestXML.h"

#include "common/Format.h"
#include "common/Trace.h"
#include "server/DocumentNodes.h"

using scup::AUTrace;
using scup::RequestElement;

namespace {

// The server knows the printers by their driver names, which start with the maker's name.
constexpr wchar_t kMakerName[] = L"Corvane";

}  // namespace

int CAUFileUpdateRequestXML::CreateFileRequestXml(CAUXMLParser& parser, SAUExtFirmInfo package) {
    scup::TraceScope scope(L"CAUFileUpdateRequestXML::CreateFileRequestXml()");
    const std::wstring driver = scup::FormatText(L"%s %s", kMakerName, package.strName.c_str());
    const RequestElement request(
        L"RequestInfo",
        {{L"FirmUpdateToolInfo",
          {{L"FirmCategory", L""}, {L"OS", L"WIN"}, {L"Area", L"ALL"}, {L"InspectMode", L"0"}}},
         {L"FirmUpdateInfo",
          {{L"Model",
            {{L"SelialNo", L""},
             {L"Name", package.strName},
             {L"Spec", package.strSpec},
             {L"Driver", driver},
             {L"Firm",
              {{L"Category", package.strCategory},
               {L"Id", package.strId},
               {L"Version", package.strInstalledVersion}}}}},
           {L"DriverCnt", L""},
           {L"LogNo", L"2"},
           {L"NeedResponse", L"1"}}}});
    if (scup::BuildRequestDocument(parser, request) != CAUXMLParser::kSuccess) return CAUXMLParser::kFailure;
    AUTrace(L"Success:FileRequest created successfully");
    return CAUXMLParser::kSuccess;
}
