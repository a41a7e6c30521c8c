#include "AUNoticeResponseXML.h"

#include <vector>

#include "common/Format.h"
#include "common/Trace.h"
#include "server/DocumentNodes.h"

using scup::AUTrace;
using scup::ComPtr;
using scup::FindAllBelow;
using scup::FindFirstBelow;
using scup::ReadTextBelow;

namespace {

bool IsFirstInOrder(const CAUXMLParser& parser, IXMLDOMNode* model) {
    std::wstring order;
    return ReadTextBelow(parser, model, L"OrderNumber", order) && scup::ParseDecimal(order) == 1;
}

}  // namespace

int CAUNoticeResponseXML::GetUpgraderInfo(const CAUXMLParser& parser, SAUUpgraderInfo& info) {
    scup::TraceScope scope(L"CAUNoticeResponseXML::GetUpgraderInfo()");
    // A half-read answer must not mix into what the caller holds.
    SAUUpgraderInfo read = info;
    const int result = ReadUpgraderInfo(parser, read);
    if (result == CAUXMLParser::kSuccess) info = read;
    return result;
}

int CAUNoticeResponseXML::ReadUpgraderInfo(const CAUXMLParser& parser, SAUUpgraderInfo& info) {
    ComPtr<IXMLDOMNode> modelInfo;
    std::vector<ComPtr<IXMLDOMNode>> models;
    if (!FindFirstBelow(parser, parser.Root(), L"ModelInfo", modelInfo) ||
        !FindAllBelow(parser, modelInfo.get(), L"Model", models))
        return CAUXMLParser::kFailure;
    for (const ComPtr<IXMLDOMNode>& model : models) {
        if (!IsFirstInOrder(parser, model.get())) continue;
        ComPtr<IXMLDOMNode> firmInfo;
        ComPtr<IXMLDOMNode> firm;
        ComPtr<IXMLDOMNode> tool;
        if (!FindFirstBelow(parser, model.get(), L"FirmInfo", firmInfo)) return CAUXMLParser::kFailure;
        if (!FindFirstBelow(parser, firmInfo.get(), L"Firm", firm)) continue;
        if (!ReadTextBelow(parser, firm.get(), L"NewVersion", info.strNewVersion) ||
            !ReadTextBelow(parser, firm.get(), L"DisplayVersion", info.strDisplayVersion))
            return CAUXMLParser::kFailure;
        if (!FindFirstBelow(parser, firm.get(), L"FirmUpdateTool", tool)) continue;
        std::wstring fileSize;
        if (!ReadTextBelow(parser, tool.get(), L"Jump", info.strDownloadURL) ||
            !ReadTextBelow(parser, tool.get(), L"FileSize", fileSize) ||
            !ReadTextBelow(parser, tool.get(), L"CheckSum", info.strCheckSum))
            return CAUXMLParser::kFailure;
        if (!fileSize.empty()) info.nFileSize = static_cast<int>(scup::ParseDecimal(fileSize));
        AUTrace(L"Success: Upgrader info retreived successfully");
        return CAUXMLParser::kSuccess;
    }
    return CAUXMLParser::kFailure;
}
