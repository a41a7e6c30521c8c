#include "AUXMLParser.h"

#include <memory>

#include "common/Format.h"
#include "common/Trace.h"
#include "common/XMLComValues.h"

using scup::AUTrace;
using scup::ComPtr;
using scup::FormatText;
using scup::XmlBstr;
using scup::XmlVariant;

namespace {

// The DOM document class and its IXMLDOMDocument2 interface; mingw's libuuid lacks the latter.
constexpr CLSID kDomDocumentClass = {
    0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID kDomDocument2Interface = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// Answers and files come from outside: nothing in them may make the parser fetch other files or
// addresses. Older DOM versions reject ProhibitDTD, and some accept it without honouring it; the
// document type check after each parse covers them.
bool ConfigureForUntrustedInput(IXMLDOMDocument2* document) {
    if (FAILED(document->put_async(VARIANT_FALSE)) || FAILED(document->put_validateOnParse(VARIANT_FALSE)) ||
        FAILED(document->put_resolveExternals(VARIANT_FALSE)))
        return false;
    document->setProperty(XmlBstr(L"ProhibitDTD").get(), XmlVariant::Bool(true).get());
    return true;
}

ComPtr<IXMLDOMDocument2> CreateDomDocument() {
    ComPtr<IUnknown> instance;
    if (FAILED(CoCreateInstance(kDomDocumentClass, nullptr, CLSCTX_ALL, IID_IUnknown, instance.put_void())))
        return {};
    if (FAILED(OleRun(instance.get()))) return {};
    ComPtr<IXMLDOMDocument2> document;
    if (FAILED(instance->QueryInterface(kDomDocument2Interface, document.put_void()))) return {};
    if (!ConfigureForUntrustedInput(document.get())) return {};
    return document;
}

bool HasDocumentType(IXMLDOMDocument2* document) {
    ComPtr<IXMLDOMDocumentType> type;
    return SUCCEEDED(document->get_doctype(type.put())) && type;
}

void DiscardContent(IXMLDOMDocument2* document) {
    VARIANT_BOOL ignored = VARIANT_FALSE;
    document->loadXML(XmlBstr(L"").get(), &ignored);
}

template <typename To, typename From>
ComPtr<To> QueryAs(From* from, REFIID iid) {
    ComPtr<To> to;
    if (from) from->QueryInterface(iid, to.put_void());
    return to;
}

// A document has one element only; not every DOM refuses a second one, and a file with two could
// not be read back.
bool MayTakeElement(IXMLDOMNode* target) {
    DOMNodeType type = NODE_INVALID;
    if (FAILED(target->get_nodeType(&type))) return false;
    if (type != NODE_DOCUMENT) return true;
    ComPtr<IXMLDOMDocument> document = QueryAs<IXMLDOMDocument>(target, IID_IXMLDOMDocument);
    ComPtr<IXMLDOMElement> existing;
    return document && SUCCEEDED(document->get_documentElement(existing.put())) && !existing;
}

// Creates every missing folder of the path; existing ones and drive or share roots are passed over.
void CreateFolderWithParents(const std::wstring& folder) {
    for (size_t at = folder.find_first_of(L"\\/");; at = folder.find_first_of(L"\\/", at + 1)) {
        std::wstring part = folder.substr(0, at);
        if (!part.empty() && part.back() != L':') CreateDirectoryW(part.c_str(), nullptr);
        if (at == std::wstring::npos) break;
    }
}

bool FlushFileToDisk(const std::wstring& path) {
    scup::UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && FlushFileBuffers(file.get());
}

std::wstring JoinFolder(const std::wstring& folder, const std::wstring& name) {
    if (folder.back() == L'\\' || folder.back() == L'/') return folder + name;
    return folder + L"\\" + name;
}

CAUXMLParser::DataFolderSource& FolderSource() {
    static CAUXMLParser::DataFolderSource source;
    return source;
}

// The history document is released by the clean-up routine while COM still runs. One that is
// still here when static objects are destroyed is left to the system: by then COM is shut down
// and releasing it would call into an unloaded server.
struct HistoryHolder {
    std::unique_ptr<CAUXMLParser> parser;
    ~HistoryHolder() { (void)parser.release(); }
};

HistoryHolder& History() {
    static HistoryHolder holder;
    return holder;
}

}  // namespace

struct CAUXMLParser::LoadTexts {
    const wchar_t* failed;
    const wchar_t* loaded;
    const wchar_t* noRoot;
};

CAUXMLParser::CAUXMLParser() : m_document(CreateDomDocument()) {
    if (!m_document) AUTrace(L"Failed: creating the DOM Document Object");
}

int CAUXMLParser::ReplaceContentWithRoot(const wchar_t* rootName) {
    m_root.reset();
    if (!m_document) return kFailure;
    m_document->put_preserveWhiteSpace(VARIANT_TRUE);
    DiscardContent(m_document.get());
    ComPtr<IXMLDOMElement> root;
    if (FAILED(m_document->createElement(XmlBstr(rootName).get(), root.put())) || !root) return kFailure;
    ComPtr<IXMLDOMNode> appended;
    if (FAILED(m_document->appendChild(root.get(), appended.put())) || !appended) return kFailure;
    m_root = root;
    return kSuccess;
}

int CAUXMLParser::CreateConfigDocument() { return ReplaceContentWithRoot(L"Config"); }

int CAUXMLParser::AdoptParsedDocument(HRESULT hr, VARIANT_BOOL parsed, const LoadTexts& texts) {
    // Whatever happens, the previous root belongs to content the DOM has already replaced.
    m_root.reset();
    if (FAILED(hr) || parsed != VARIANT_TRUE || HasDocumentType(m_document.get())) {
        DiscardContent(m_document.get());
        AUTrace(texts.failed);
        return kFailure;
    }
    if (FAILED(m_document->get_documentElement(m_root.put())) || !m_root) {
        m_root.reset();
        AUTrace(texts.noRoot);
        return kFailure;
    }
    AUTrace(texts.loaded);
    return kSuccess;
}

int CAUXMLParser::Load(const std::wstring& filePath) {
    scup::TraceScope scope(L"CAUXMLParser::Load(file)");
    static constexpr LoadTexts kTexts{L"Failed: Document loading failed",
                                      L"Success: Document loaded successfully",
                                      L"Failed: Root is not intialized"};
    if (!m_document) {
        AUTrace(kTexts.failed);
        return kFailure;
    }
    VARIANT_BOOL parsed = VARIANT_FALSE;
    HRESULT hr = m_document->load(XmlVariant::Text(filePath).get(), &parsed);
    return AdoptParsedDocument(hr, parsed, kTexts);
}

int CAUXMLParser::LoadXML(const std::wstring& text) {
    scup::TraceScope scope(L"CAUXMLParser::LoadXML(string)");
    static constexpr LoadTexts kTexts{L"Failed: XML String loading failed",
                                      L"Success: XML String loaded successfully",
                                      L"Failed: Root is not intialzied"};
    if (!m_document) {
        AUTrace(kTexts.failed);
        return kFailure;
    }
    VARIANT_BOOL parsed = VARIANT_FALSE;
    HRESULT hr = m_document->loadXML(XmlBstr(text).get(), &parsed);
    return AdoptParsedDocument(hr, parsed, kTexts);
}

int CAUXMLParser::XMLTOString(std::wstring& text) const { return XMLTOString(m_document.get(), text); }

int CAUXMLParser::XMLTOString(IXMLDOMDocument2* document, std::wstring& text) {
    scup::TraceScope scope(L"CAUXMLParser::XMLTOString()");
    if (!document) return kFailure;
    XmlBstr markup;
    if (FAILED(document->get_xml(markup.put())) || markup.str().empty()) {
        AUTrace(L"Failed: Converting to XML String failed");
        return kFailure;
    }
    text = markup.str();
    AUTrace(L"Success: Successfully convered XML Doc to String");
    return kSuccess;
}

ComPtr<IXMLDOMElement> CAUXMLParser::SearchElement(IXMLDOMNode* parent) const {
    if (!parent) return m_root;
    return QueryAs<IXMLDOMElement>(parent, IID_IXMLDOMElement);
}

ComPtr<IXMLDOMNodeList> CAUXMLParser::DescendantsNamed(IXMLDOMNode* parent,
                                                       const std::wstring& tagName) const {
    ComPtr<IXMLDOMNodeList> list;
    ComPtr<IXMLDOMElement> element = SearchElement(parent);
    if (!element || FAILED(element->getElementsByTagName(XmlBstr(tagName).get(), list.put()))) list.reset();
    return list;
}

int CAUXMLParser::GetNodeList(IXMLDOMNode* parent, const std::wstring& tagName,
                              ComPtr<IXMLDOMNodeList>& list) const {
    scup::TraceScope scope(L"CAUXMLParser::GetNodeList()");
    list.reset();
    if (!m_root) return kFailure;
    list = DescendantsNamed(parent, tagName);
    if (!list) {
        AUTrace(L"Failed: Retriving the Node List");
        return kFailure;
    }
    AUTrace(L"Success: Successfully Retrived the Node List");
    return kSuccess;
}

int CAUXMLParser::GetFristSelectedNode(IXMLDOMNode* parent, const std::wstring& tagName,
                                       ComPtr<IXMLDOMNode>& node) const {
    scup::TraceScope scope(L"CAUXMLParser::GetFristSelectedNode()");
    // The caller may pass the node it holds in the output as the parent: keep it until the end.
    ComPtr<IXMLDOMNode> first;
    int result = FirstDescendantNamed(parent, tagName, first);
    node = first;
    return result;
}

int CAUXMLParser::FirstDescendantNamed(IXMLDOMNode* parent, const std::wstring& tagName,
                                       ComPtr<IXMLDOMNode>& first) const {
    if (!m_root) return kFailure;
    ComPtr<IXMLDOMNodeList> list = DescendantsNamed(parent, tagName);
    if (!list) {
        AUTrace(L"Failed: Error in retrieving the node list");
        return kFailure;
    }
    if (FAILED(list->get_item(0, first.put())) || !first) {
        first.reset();
        AUTrace(L"Failed: Retrieving the Selected Node");
        return kFailure;
    }
    AUTrace(L"Success: Retrieved the Selected Node");
    return kSuccess;
}

int CAUXMLParser::GetNodeValue(IXMLDOMNode* node, std::wstring& value) const {
    scup::TraceScope scope(L"CAUXMLParser::GetNodeValue()");
    if (!m_root || !node) return kFailure;
    XmlBstr text;
    if (FAILED(node->get_text(text.put()))) return kFailure;
    value = text.str();
    AUTrace(L"Success: Retreived Node Value is : %s", value.c_str());
    return kSuccess;
}

int CAUXMLParser::SetNodeValue(IXMLDOMNode* node, const std::wstring& value, const std::wstring& fileName) {
    scup::TraceScope scope(L"CAUXMLParser::SetNodeValue()");
    if (!m_root || !node) return kFailure;
    if (FAILED(node->put_text(XmlBstr(value).get()))) return kFailure;
    AUTrace(L"Setting Node Value");
    // Without a file name there is nothing to save to: the folder itself is no file.
    if (fileName.empty()) return kSuccess;
    return SaveIntoDataFolder(fileName);
}

int CAUXMLParser::CreateNode(IXMLDOMNode* parent, const std::wstring& tagName, const std::wstring& value,
                             const std::wstring& fileName, ComPtr<IXMLDOMNode>* newNode) {
    scup::TraceScope scope(L"CAUXMLParser::CreateNode()");
    // The output may hold the parent: it is replaced only once the parent is no longer needed.
    ComPtr<IXMLDOMNode> created = AppendNewElement(parent, tagName, value);
    if (newNode) *newNode = created;
    if (!created) return kFailure;
    if (!fileName.empty()) return SaveIntoDataFolder(fileName);
    AUTrace(L"Success: Created Node");
    return kSuccess;
}

ComPtr<IXMLDOMNode> CAUXMLParser::AppendNewElement(IXMLDOMNode* parent, const std::wstring& tagName,
                                                   const std::wstring& value) {
    if (!m_document) return {};
    ComPtr<IXMLDOMElement> element;
    if (FAILED(m_document->createElement(XmlBstr(tagName).get(), element.put())) || !element) return {};
    if (!value.empty() && FAILED(element->put_text(XmlBstr(value).get()))) return {};
    IXMLDOMNode* target = parent;
    const wchar_t* failure = L"Failed: Appending child to parent failed";
    if (!target && m_root) {
        target = m_root.get();
        failure = L"Failed: Appending child to root failed";
    } else if (!target) {
        target = m_document.get();
        failure = L"Failed: Appending child to document node failed";
    }
    ComPtr<IXMLDOMNode> appended;
    if (!MayTakeElement(target) || FAILED(target->appendChild(element.get(), appended.put())) || !appended) {
        AUTrace(failure);
        return {};
    }
    return appended;
}

std::wstring CAUXMLParser::DataFolder() {
    const DataFolderSource& source = FolderSource();
    return source ? source() : std::wstring();
}

std::wstring CAUXMLParser::DataFilePath(const std::wstring& fileName) {
    std::wstring folder = DataFolder();
    if (folder.empty()) return {};
    CreateFolderWithParents(folder);
    return JoinFolder(folder, fileName);
}

int CAUXMLParser::SaveIntoDataFolder(const std::wstring& fileName) {
    std::wstring folder = DataFolder();
    if (folder.empty()) {
        AUTrace(L"Failed: XML File Not Saved");
        return kFailure;
    }
    CreateFolderWithParents(folder);
    return SaveXML(JoinFolder(folder, fileName));
}

int CAUXMLParser::SaveXML(const std::wstring& fullPath) {
    scup::TraceScope scope(L"CAUXMLParser::SaveXML()");
    if (!m_protectedPath.empty() && _wcsicmp(m_protectedPath.c_str(), fullPath.c_str()) == 0) {
        AUTrace(L"Failed: %s holds earlier content that could not be kept aside; not saved over",
                fullPath.c_str());
        AUTrace(L"Failed: XML File Not Saved");
        return kFailure;
    }
    // A parser without a document has nothing it could have written.
    if (!m_document || !SaveThroughTemporaryFile(fullPath)) {
        AUTrace(L"Failed: XML File Not Saved");
        return kFailure;
    }
    AUTrace(L"Success: XML File Saved Successfully");
    return kSuccess;
}

// The document goes to a temporary file beside the target, is flushed to the disk, and only then
// replaces the target in one rename: a crash or a full disk during the save leaves the earlier
// file as it was, never a truncated one.
bool CAUXMLParser::SaveThroughTemporaryFile(const std::wstring& fullPath) {
    std::wstring temporary =
        FormatText(L"%s.%lu-%lu.tmp", fullPath.c_str(), GetCurrentProcessId(), GetCurrentThreadId());
    if (FAILED(m_document->save(XmlVariant::Text(temporary).get()))) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    if (!FlushFileToDisk(temporary) || !MoveFileExW(temporary.c_str(), fullPath.c_str(),
                                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        AUTrace(L"Failed: replacing %s (error %lu)", fullPath.c_str(), GetLastError());
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

void CAUXMLParser::ProtectFromSaving(const std::wstring& fullPath) { m_protectedPath = fullPath; }

int CAUXMLParser::SelectFirstNode(const CAUXMLParser& parser, const std::wstring& path,
                                  ComPtr<IXMLDOMNode>& node) {
    node.reset();
    if (!parser.m_document) return kFailure;
    if (parser.m_document->selectSingleNode(XmlBstr(path).get(), node.put()) != S_OK || !node) {
        node.reset();
        return kFailure;
    }
    return kSuccess;
}

CAUXMLParser& CAUXMLParser::CreateHistoryDocument() {
    std::unique_ptr<CAUXMLParser>& parser = History().parser;
    if (!parser) parser = std::make_unique<CAUXMLParser>();
    return *parser;
}

CAUXMLParser* CAUXMLParser::HistoryDocument() { return History().parser.get(); }

void CAUXMLParser::ReleaseHistoryDocument() { History().parser.reset(); }

int CAUXMLParser::CreateLogDocument() {
    CAUXMLParser* history = HistoryDocument();
    return history ? history->ReplaceContentWithRoot(L"Log") : kFailure;
}

int CAUXMLParser::SelectNodeList(const std::wstring& path, ComPtr<IXMLDOMNodeList>& list) {
    list.reset();
    CAUXMLParser* history = HistoryDocument();
    if (!history || !history->m_document) return kFailure;
    if (FAILED(history->m_document->selectNodes(XmlBstr(path).get(), list.put())) || !list) {
        list.reset();
        return kFailure;
    }
    return kSuccess;
}

void CAUXMLParser::SetDataFolderSource(DataFolderSource source) { FolderSource() = std::move(source); }
