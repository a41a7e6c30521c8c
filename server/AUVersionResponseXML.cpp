#include "AUVersionResponseXML.h"

#include <vector>

#include "common/Trace.h"
#include "server/DocumentNodes.h"

using scup::AUTrace;
using scup::ComPtr;
using scup::FindAllBelow;
using scup::FindFirstBelow;
using scup::ReadTextBelow;

int CAUVersionResponseXML::GetUpdaterVersion(const CAUXMLParser& parser, std::wstring& version) {
    scup::TraceScope scope(L"CAUVersionResponseXML::GetUpdaterVersion()");
    ComPtr<IXMLDOMNode> toolInfo;
    if (!FindFirstBelow(parser, parser.Root(), L"FirmUpdateToolInfo", toolInfo)) {
        AUTrace(L"Failed: retrieving the updater version");
        return CAUXMLParser::kFailure;
    }
    return ReadTextBelow(parser, toolInfo.get(), L"Version", version) ? CAUXMLParser::kSuccess
                                                                      : CAUXMLParser::kFailure;
}

int CAUVersionResponseXML::GetPrinterFirmwareList(const CAUXMLParser& parser, ComponentList& packages) {
    scup::TraceScope scope(L"CAUVersionResponseXML::GetPrinterFirmwareList()");
    packages.clear();
    ComPtr<IXMLDOMNode> modelInfo;
    std::vector<ComPtr<IXMLDOMNode>> models;
    if (!FindFirstBelow(parser, parser.Root(), L"ModelInfo", modelInfo) ||
        !FindAllBelow(parser, modelInfo.get(), L"Model", models))
        return CAUXMLParser::kFailure;
    // A model that cannot be read takes nothing away from the others.
    for (const ComPtr<IXMLDOMNode>& model : models) GetFirmData(parser, model.get(), packages);
    AUTrace(L"Count of Firmware retrieved : %d", static_cast<int>(packages.size()));
    return CAUXMLParser::kSuccess;
}

int CAUVersionResponseXML::GetFirmData(const CAUXMLParser& parser, IXMLDOMNode* model,
                                       ComponentList& packages) {
    scup::TraceScope scope(L"CAUVersionResponseXML::GetFirmData()");
    std::wstring name;
    std::wstring spec;
    ReadTextBelow(parser, model, L"Name", name);
    ReadTextBelow(parser, model, L"Spec", spec);

    ComPtr<IXMLDOMNode> firmInfo;
    if (!FindFirstBelow(parser, model, L"FirmInfo", firmInfo)) return CAUXMLParser::kFailure;
    std::vector<ComPtr<IXMLDOMNode>> firms;
    FindAllBelow(parser, firmInfo.get(), L"Firm", firms);
    for (const ComPtr<IXMLDOMNode>& firm : firms) {
        SAUExtFirmInfo package;
        if (!ReadTextBelow(parser, firm.get(), L"Id", package.strId)) return CAUXMLParser::kFailure;
        ReadTextBelow(parser, firm.get(), L"Category", package.strCategory);
        package.strName = name;
        package.strSpec = spec;
        packages[package.strId + L"_" + spec] = package;
    }
    if (packages.empty()) return CAUXMLParser::kFailure;
    AUTrace(L"Success: Retreived the printer model data successfully");
    return CAUXMLParser::kSuccess;
}
