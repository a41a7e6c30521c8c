#pragma once
// Building blocks of the server's request and answer documents on a CAUXMLParser.

#include <string>
#include <vector>

#include "common/AUXMLParser.h"
#include "common/Handles.h"

namespace scup {

// One element of a request document: its tag, its text (empty for none) or its children, and the
// trace line that names it when it cannot be created.
struct RequestElement {
    RequestElement(const wchar_t* tag, std::wstring text, const wchar_t* failureTrace = nullptr);
    RequestElement(const wchar_t* tag, std::vector<RequestElement> children);

    const wchar_t* tag;
    std::wstring text;
    std::vector<RequestElement> children;
    const wchar_t* failureTrace = nullptr;
};

// Creates the tree as the only element of the parser's document, each element before its
// children, in the order given. The first element that cannot be created ends the building with
// 1. A document that already holds an element is refused: the request would land inside it.
int BuildRequestDocument(CAUXMLParser& parser, const RequestElement& tree);

// Lookups in an answer, by tag at any depth below an element, first in document order. A null
// element finds nothing: no lookup ever falls back to the whole document.
bool FindFirstBelow(const CAUXMLParser& parser, IXMLDOMNode* below, const wchar_t* tag,
                    ComPtr<IXMLDOMNode>& node);
// The text of the first such element; the output is left as it was when there is none.
bool ReadTextBelow(const CAUXMLParser& parser, IXMLDOMNode* below, const wchar_t* tag, std::wstring& text);
// All such elements; false when the search itself fails.
bool FindAllBelow(const CAUXMLParser& parser, IXMLDOMNode* below, const wchar_t* tag,
                  std::vector<ComPtr<IXMLDOMNode>>& nodes);

}  // namespace scup
