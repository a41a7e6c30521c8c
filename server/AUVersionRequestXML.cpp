#include "AUVersionRequestXML.h"

#include "common/Trace.h"
#include "server/DocumentNodes.h"

using scup::AUTrace;
using scup::RequestElement;

int CAUVersionRequestXML::CreateVersionRequestXml(CAUXMLParser& parser, const std::wstring& printerName,
                                                  const std::wstring& queryKey) {
    scup::TraceScope scope(L"CAUVersionRequestXML::CreateVersionRequestXml()");
    const RequestElement request(
        L"RequestInfo",
        {{L"FirmUpdateToolInfo",
          {{L"FirmCategory", L"ES_TOOL"}, {L"OS", L"WIN"}, {L"Area", L"ALL"}, {L"InspectMode", L"0"}}},
         {L"ModelInfo", {{L"Model", {{L"Name", printerName}, {L"Spec", queryKey}}}}}});
    if (scup::BuildRequestDocument(parser, request) != CAUXMLParser::kSuccess) return CAUXMLParser::kFailure;
    AUTrace(L"Success: Successfully created the version requestXML");
    return CAUXMLParser::kSuccess;
}
