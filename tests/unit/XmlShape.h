#pragma once
// Structural views of XML documents for comparisons that do not depend on the DOM's indentation.

#include <string>

#include "common/AUXMLParser.h"
#include "common/XMLComValues.h"

namespace testing_support {

// Element names and texts of a tree, white space between elements ignored: "a(b=1,c=)".
inline std::wstring Shape(IXMLDOMNode* node) {
    scup::XmlBstr name;
    node->get_nodeName(name.put());
    scup::ComPtr<IXMLDOMNodeList> children;
    node->get_childNodes(children.put());
    std::wstring inner;
    scup::ComPtr<IXMLDOMNode> child;
    while (children->nextNode(child.put()) == S_OK) {
        DOMNodeType type;
        child->get_nodeType(&type);
        if (type == NODE_ELEMENT) inner += (inner.empty() ? L"" : L",") + Shape(child.get());
    }
    if (!inner.empty()) return name.str() + L"(" + inner + L")";
    scup::XmlBstr text;
    node->get_text(text.put());
    return name.str() + L"=" + text.str();
}

inline std::wstring ShapeOfFile(const std::wstring& path) {
    CAUXMLParser reader;
    return reader.Load(path) == 0 ? Shape(reader.Root()) : L"(not loaded)";
}

}  // namespace testing_support
