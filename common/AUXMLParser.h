#pragma once
// The one XML document class of the program: server requests and answers, the configuration
// file, the history log and the package descriptions are all read and written through it.
//
// It wraps an MSXML DOM document (COM) and keeps its root element at hand.
//
// Failure reporting: every operation returns 0 (kSuccess) or 1 (kFailure) and never throws for a
// DOM error. A failing DOM call (a refused append, an invalid tag name, a node of the wrong kind,
// a null handle) ends the operation with 1; nothing is ever reported as done that was not done.
// Only exhausted memory escapes, as std::bad_alloc, like everywhere else in the program.
//
// Safety: documents are parsed without resolving external entities and without validation, and a
// document that carries a document type declaration is refused, so no answer or file can make the
// parser read anything but the text or file it was given.
//
// The DOM objects belong to the COM apartment of the thread that created them; COM must be
// initialised there before a parser is made. Two documents live for the whole run and are made on
// the main thread at start: the configuration (the local data), which the update thread uses too,
// and the history document, to which the update thread and the transfer's worker add records.

#include <msxml2.h>
#include <ole2.h>
#include <windows.h>

#include <functional>
#include <string>

#include "common/Handles.h"

class CAUXMLParser {
  public:
    static constexpr int kSuccess = 0;
    static constexpr int kFailure = 1;

    // Creates the DOM document. Never fails: when the document cannot be created, every later
    // operation reports failure.
    CAUXMLParser();
    CAUXMLParser(const CAUXMLParser&) = delete;
    CAUXMLParser& operator=(const CAUXMLParser&) = delete;

    // Replace the content by an empty root element "Config" (white space preserved).
    int CreateConfigDocument();

    // Parse a file or a text; the root becomes the document element. On failure the parser holds
    // no root (the DOM has discarded the previous content).
    int Load(const std::wstring& filePath);
    int LoadXML(const std::wstring& text);

    // Serialises the whole document (no XML declaration is added). The second form takes any DOM
    // document; a null or empty one gives 1.
    int XMLTOString(std::wstring& text) const;
    static int XMLTOString(IXMLDOMDocument2* document, std::wstring& text);

    // All descendant elements with the tag name below parent (below the root when parent is null),
    // in document order; and the first of them.
    int GetNodeList(IXMLDOMNode* parent, const std::wstring& tagName,
                    scup::ComPtr<IXMLDOMNodeList>& list) const;
    int GetFristSelectedNode(IXMLDOMNode* parent, const std::wstring& tagName,
                             scup::ComPtr<IXMLDOMNode>& node) const;

    // The text content of the node: the concatenation of all text below it.
    int GetNodeValue(IXMLDOMNode* node, std::wstring& value) const;

    // Sets the node's text and saves the document as fileName in the data folder. An empty file
    // name sets the text only.
    int SetNodeValue(IXMLDOMNode* node, const std::wstring& value, const std::wstring& fileName);

    // Creates an element (with text when value is not empty) and appends it to parent, else to the
    // root, else to the document itself; a non-empty file name saves the document into the data
    // folder. The new element is handed out through newNode when that is given.
    int CreateNode(IXMLDOMNode* parent, const std::wstring& tagName, const std::wstring& value,
                   const std::wstring& fileName, scup::ComPtr<IXMLDOMNode>* newNode = nullptr);

    // Writes the document to the full path through a temporary file beside it, so that the file
    // is either the earlier one or the complete new one. A parser without a document gives 1.
    int SaveXML(const std::wstring& fullPath);
    // SaveXML as fileName in the data folder, made with its parents when missing.
    int SaveIntoDataFolder(const std::wstring& fileName);

    // The first node of parser's document that matches a child-step path such as
    // "Log/Info[Category='FIRM']", evaluated from the document node.
    static int SelectFirstNode(const CAUXMLParser& parser, const std::wstring& path,
                               scup::ComPtr<IXMLDOMNode>& node);

    // --- The history document: one process-wide parser for the update history log. ---

    // Creates it unless it exists; returns it.
    static CAUXMLParser& CreateHistoryDocument();
    // Null until created and after release.
    static CAUXMLParser* HistoryDocument();
    // Must run before COM is uninitialised (the clean-up routine does it).
    static void ReleaseHistoryDocument();
    // Replace the history document's content by an empty root element "Log". 1 when it does not exist.
    static int CreateLogDocument();
    // Nodes of the history document that match a path expression, evaluated from the document node.
    static int SelectNodeList(const std::wstring& path, scup::ComPtr<IXMLDOMNodeList>& list);

    // --- Where SetNodeValue and CreateNode save: the per-user data folder. ---

    // The start-up code sets the source of the folder (with or without its trailing backslash)
    // before any thread saves; without one, saving into the data folder fails. Missing folders
    // are created with their parents before each save.
    using DataFolderSource = std::function<std::wstring()>;
    static void SetDataFolderSource(DataFolderSource source);
    // The data folder (empty without a source), and the path of a file in it with the folder
    // created; empty without a source.
    static std::wstring DataFolder();
    static std::wstring DataFilePath(const std::wstring& fileName);

    // Refuses every later save to this path: it holds content that must not be overwritten.
    void ProtectFromSaving(const std::wstring& fullPath);

    IXMLDOMDocument2* Document() const { return m_document.get(); }
    IXMLDOMElement* Root() const { return m_root.get(); }

  private:
    struct LoadTexts;

    int ReplaceContentWithRoot(const wchar_t* rootName);
    int AdoptParsedDocument(HRESULT hr, VARIANT_BOOL parsed, const LoadTexts& texts);
    bool SaveThroughTemporaryFile(const std::wstring& fullPath);
    scup::ComPtr<IXMLDOMNode> AppendNewElement(IXMLDOMNode* parent, const std::wstring& tagName,
                                               const std::wstring& value);
    int FirstDescendantNamed(IXMLDOMNode* parent, const std::wstring& tagName,
                             scup::ComPtr<IXMLDOMNode>& first) const;
    scup::ComPtr<IXMLDOMElement> SearchElement(IXMLDOMNode* parent) const;
    scup::ComPtr<IXMLDOMNodeList> DescendantsNamed(IXMLDOMNode* parent, const std::wstring& tagName) const;

    scup::ComPtr<IXMLDOMDocument2> m_document;
    scup::ComPtr<IXMLDOMElement> m_root;
    std::wstring m_protectedPath;
};
