#include "AUFileUpdateResponseXML.h"

#include "common/Format.h"
#include "common/Trace.h"
#include "server/DocumentNodes.h"

using scup::AUTrace;
using scup::ComPtr;
using scup::FindFirstBelow;
using scup::ReadTextBelow;

int CAUFileUpdateResponseXML::GetFileUpdateInfo(const CAUXMLParser& parser, SAUFileUpdateInfo& info) {
    AUTrace(L"Enter : CAUFileUpdateResponseXML::GetFileUpdateInfo()");
    // A half-read answer must not mix into what the caller holds.
    SAUFileUpdateInfo read = info;
    const int result = ReadFileUpdateInfo(parser, read);
    if (result == CAUXMLParser::kSuccess) info = read;
    AUTrace(L"Exit : CAUFileUpdateResponseXML::GetFileUpdateInfo)");
    return result;
}

int CAUFileUpdateResponseXML::ReadFileUpdateInfo(const CAUXMLParser& parser, SAUFileUpdateInfo& info) {
    ComPtr<IXMLDOMNode> updateInfo;
    ComPtr<IXMLDOMNode> firm;
    std::wstring versionCheck;
    if (!FindFirstBelow(parser, parser.Root(), L"FirmUpdateInfo", updateInfo) ||
        !ReadTextBelow(parser, updateInfo.get(), L"VersionCheck", versionCheck))
        return CAUXMLParser::kFailure;
    info.nVersionCheck = static_cast<int>(scup::ParseDecimal(versionCheck));
    if (!FindFirstBelow(parser, updateInfo.get(), L"Firm", firm) ||
        !ReadTextBelow(parser, firm.get(), L"Id", info.strId) ||
        !ReadTextBelow(parser, firm.get(), L"Path", info.strPath))
        return CAUXMLParser::kFailure;
    AUTrace(L"Success:File Update Info is read successfully");
    return CAUXMLParser::kSuccess;
}
