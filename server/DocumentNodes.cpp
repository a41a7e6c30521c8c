#include "DocumentNodes.h"

#include <utility>

#include "common/Trace.h"

namespace scup {
namespace {

bool HoldsElement(const CAUXMLParser& parser) {
    if (parser.Root()) return true;
    ComPtr<IXMLDOMElement> element;
    return parser.Document() && SUCCEEDED(parser.Document()->get_documentElement(element.put())) && element;
}

int AppendTree(CAUXMLParser& parser, IXMLDOMNode* parent, const RequestElement& element) {
    ComPtr<IXMLDOMNode> node;
    if (parser.CreateNode(parent, element.tag, element.text, L"", &node) != CAUXMLParser::kSuccess || !node) {
        if (element.failureTrace) AUTrace(element.failureTrace);
        return CAUXMLParser::kFailure;
    }
    for (const RequestElement& child : element.children) {
        if (AppendTree(parser, node.get(), child) != CAUXMLParser::kSuccess) return CAUXMLParser::kFailure;
    }
    return CAUXMLParser::kSuccess;
}

}  // namespace

RequestElement::RequestElement(const wchar_t* tag, std::wstring text, const wchar_t* failureTrace)
    : tag(tag), text(std::move(text)), failureTrace(failureTrace) {}

RequestElement::RequestElement(const wchar_t* tag, std::vector<RequestElement> children)
    : tag(tag), children(std::move(children)) {}

int BuildRequestDocument(CAUXMLParser& parser, const RequestElement& tree) {
    if (HoldsElement(parser)) {
        AUTrace(L"Failed: the request document already holds an element");
        return CAUXMLParser::kFailure;
    }
    return AppendTree(parser, nullptr, tree);
}

bool FindFirstBelow(const CAUXMLParser& parser, IXMLDOMNode* below, const wchar_t* tag,
                    ComPtr<IXMLDOMNode>& node) {
    if (!below) {
        node.reset();
        return false;
    }
    return parser.GetFristSelectedNode(below, tag, node) == CAUXMLParser::kSuccess;
}

bool ReadTextBelow(const CAUXMLParser& parser, IXMLDOMNode* below, const wchar_t* tag, std::wstring& text) {
    ComPtr<IXMLDOMNode> node;
    return FindFirstBelow(parser, below, tag, node) &&
           parser.GetNodeValue(node.get(), text) == CAUXMLParser::kSuccess;
}

bool FindAllBelow(const CAUXMLParser& parser, IXMLDOMNode* below, const wchar_t* tag,
                  std::vector<ComPtr<IXMLDOMNode>>& nodes) {
    nodes.clear();
    ComPtr<IXMLDOMNodeList> list;
    if (!below || parser.GetNodeList(below, tag, list) != CAUXMLParser::kSuccess) return false;
    long count = 0;
    if (FAILED(list->get_length(&count))) return false;
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> node;
        if (list->get_item(i, node.put()) == S_OK && node) nodes.push_back(node);
    }
    return true;
}

}  // namespace scup
