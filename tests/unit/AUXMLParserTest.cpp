#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "TestSupport.h"
#include "XmlShape.h"
#include "common/AUXMLParser.h"
#include "common/AppFiles.h"
#include "common/Text.h"
#include "common/XMLComValues.h"

namespace {

using namespace testing_support;
using scup::ComPtr;

std::vector<std::wstring> Texts(IXMLDOMNodeList* list) {
    std::vector<std::wstring> texts;
    ComPtr<IXMLDOMNode> node;
    while (list->nextNode(node.put()) == S_OK) {
        scup::XmlBstr text;
        node->get_text(text.put());
        texts.push_back(text.str());
    }
    return texts;
}

class AUXMLParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeScratchFolder(L"xml");
        dataFolder_ = dir_ + L"\\data\\ScUpdater\\";
        CAUXMLParser::SetDataFolderSource([this] { return dataFolder_; });
    }
    void TearDown() override {
        CAUXMLParser::SetDataFolderSource({});
        CAUXMLParser::ReleaseHistoryDocument();
        scup::RemoveFolder(dir_);
    }

    std::wstring dir_;
    std::wstring dataFolder_;
};

const wchar_t* const kNested =
    L"<R><A><Version>1</Version><B><Version>2</Version></B></A><Version>3</Version><C><x>y</x></C></R>";

TEST_F(AUXMLParserTest, LoadXMLTakesWellFormedTextAndRefusesTheRest) {
    TraceCapture trace;
    CAUXMLParser parser;
    EXPECT_EQ(parser.LoadXML(kNested), 0);
    EXPECT_TRUE(trace.Contains(L"Success: XML String loaded successfully"));
    EXPECT_EQ(trace.Count(L"Enter : CAUXMLParser::LoadXML(string)"), 1);
    EXPECT_EQ(trace.Count(L"Exit : CAUXMLParser::LoadXML(string)"), 1);

    // A failed load leaves no root behind that would still answer from the previous content.
    EXPECT_EQ(parser.LoadXML(L"<R><A></R>"), 1);
    EXPECT_TRUE(trace.Contains(L"Failed: XML String loading failed"));
    ComPtr<IXMLDOMNodeList> list;
    EXPECT_EQ(parser.GetNodeList(nullptr, L"Version", list), 1);

    // Without an element there is no root, whichever way the DOM reports it.
    EXPECT_EQ(parser.LoadXML(L"<!-- only a comment -->"), 1);
    EXPECT_EQ(parser.Root(), nullptr);
    EXPECT_EQ(trace.Count(L"Success: XML String loaded successfully"), 1);
}

TEST_F(AUXMLParserTest, LoadReadsFilesAndReportsMissingOrMalformedOnes) {
    TraceCapture trace;
    CAUXMLParser parser;
    WriteTextFile(dir_ + L"\\good.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><R><T>\xE6\x97\xA5\xE6\x9C\xAC</T></R>");
    ASSERT_EQ(parser.Load(dir_ + L"\\good.xml"), 0);
    EXPECT_EQ(Shape(parser.Root()), L"R(T=\x65E5\x672C)");
    EXPECT_TRUE(trace.Contains(L"Success: Document loaded successfully"));

    WriteTextFile(dir_ + L"\\bad.xml", "<R><T></R>");
    EXPECT_EQ(parser.Load(dir_ + L"\\bad.xml"), 1);
    EXPECT_EQ(parser.Root(), nullptr);
    EXPECT_EQ(parser.Load(dir_ + L"\\missing.xml"), 1);
    EXPECT_EQ(trace.Count(L"Failed: Document loading failed"), 2);
    EXPECT_EQ(trace.Count(L"Enter : CAUXMLParser::Load(file)"), 3);
    EXPECT_EQ(trace.Count(L"Exit : CAUXMLParser::Load(file)"), 3);
}

TEST_F(AUXMLParserTest, NeverReadsWhatADocumentTypeDeclarationPointsTo) {
    const std::wstring secret = dir_ + L"\\secret.txt";
    WriteTextFile(secret, "TOPSECRET");
    std::string url = "file:///" + scup::ToUtf8(secret);
    for (char& c : url)
        if (c == '\\') c = '/';
    const std::string docs[] = {
        "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY e SYSTEM \"" + url + "\">]><a>&e;</a>",
        "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY e SYSTEM \"secret.txt\">]><a>&e;</a>",
        "<!DOCTYPE a SYSTEM \"secret.txt\"><a/>",
    };
    CAUXMLParser parser;
    VARIANT_BOOL flag = VARIANT_TRUE;
    ASSERT_EQ(parser.Document()->get_resolveExternals(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);
    ASSERT_EQ(parser.Document()->get_validateOnParse(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);
    for (const std::string& doc : docs) {
        WriteTextFile(dir_ + L"\\doc.xml", doc);
        EXPECT_EQ(parser.Load(dir_ + L"\\doc.xml"), 1) << doc;
        EXPECT_EQ(parser.LoadXML(scup::FromUtf8(doc)), 1) << doc;
        std::wstring text;
        parser.XMLTOString(text);
        EXPECT_EQ(text.find(L"TOPSECRET"), std::wstring::npos) << doc;
    }
    // Internal entities come with a declaration too and are refused alike.
    EXPECT_EQ(parser.LoadXML(L"<!DOCTYPE a [<!ENTITY i \"x\">]><a>&i;</a>"), 1);
}

TEST_F(AUXMLParserTest, TagSearchCoversAllDescendantsInDocumentOrder) {
    CAUXMLParser parser;
    ComPtr<IXMLDOMNodeList> list;
    ComPtr<IXMLDOMNode> node;
    {
        TraceCapture trace;
        EXPECT_EQ(parser.GetNodeList(nullptr, L"Version", list), 1);
        EXPECT_EQ(parser.GetFristSelectedNode(nullptr, L"Version", node), 1);
        EXPECT_EQ(trace.Lines(), (std::vector<std::wstring>{
                                     L"Enter : CAUXMLParser::GetNodeList()", L"Exit : CAUXMLParser::GetNodeList()",
                                     L"Enter : CAUXMLParser::GetFristSelectedNode()",
                                     L"Exit : CAUXMLParser::GetFristSelectedNode()"}));
    }
    ASSERT_EQ(parser.LoadXML(kNested), 0);
    TraceCapture trace;
    ASSERT_EQ(parser.GetNodeList(nullptr, L"Version", list), 0);
    EXPECT_EQ(Texts(list.get()), (std::vector<std::wstring>{L"1", L"2", L"3"}));
    EXPECT_TRUE(trace.Contains(L"Success: Successfully Retrived the Node List"));

    ComPtr<IXMLDOMNode> a, c;
    ASSERT_EQ(parser.GetFristSelectedNode(nullptr, L"A", a), 0);
    ASSERT_EQ(parser.GetNodeList(a.get(), L"Version", list), 0);
    EXPECT_EQ(Texts(list.get()), (std::vector<std::wstring>{L"1", L"2"}));
    // The node held in the output may be the parent of the search.
    ASSERT_EQ(parser.GetFristSelectedNode(nullptr, L"B", node), 0);
    ASSERT_EQ(parser.GetFristSelectedNode(node.get(), L"Version", node), 0);
    std::wstring value;
    EXPECT_EQ(parser.GetNodeValue(node.get(), value), 0);
    EXPECT_EQ(value, L"2");
    EXPECT_TRUE(trace.Contains(L"Success: Retrieved the Selected Node"));

    ASSERT_EQ(parser.GetFristSelectedNode(nullptr, L"C", c), 0);
    EXPECT_EQ(parser.GetFristSelectedNode(c.get(), L"Version", node), 1);
    EXPECT_FALSE(node);
    EXPECT_TRUE(trace.Contains(L"Failed: Retrieving the Selected Node"));

    // A parent that is no element cannot be searched.
    ComPtr<IXMLDOMNode> x, text;
    ASSERT_EQ(c->get_firstChild(x.put()), S_OK);
    ASSERT_EQ(x->get_firstChild(text.put()), S_OK);
    EXPECT_EQ(parser.GetFristSelectedNode(text.get(), L"x", node), 1);
    EXPECT_TRUE(trace.Contains(L"Failed: Error in retrieving the node list"));
    EXPECT_EQ(parser.GetNodeList(text.get(), L"x", list), 1);
    EXPECT_TRUE(trace.Contains(L"Failed: Retriving the Node List"));
}

TEST_F(AUXMLParserTest, NodeValueIsAllTextBelowTheNode) {
    CAUXMLParser parser;
    ASSERT_EQ(parser.LoadXML(L"<R><M>50%s <b>of</b> %d</M></R>"), 0);
    ComPtr<IXMLDOMNode> node;
    ASSERT_EQ(parser.GetFristSelectedNode(nullptr, L"M", node), 0);
    TraceCapture trace;
    std::wstring value = L"old";
    EXPECT_EQ(parser.GetNodeValue(node.get(), value), 0);
    EXPECT_EQ(value, L"50%s of %d");
    EXPECT_TRUE(trace.Contains(L"Success: Retreived Node Value is : 50%s of %d"));
    EXPECT_EQ(parser.GetNodeValue(nullptr, value), 1);
}

TEST_F(AUXMLParserTest, PathSelectionWithOneEqualityPredicate) {
    CAUXMLParser parser;
    ASSERT_EQ(parser.LoadXML(L"<Log><Info><Category>PCS</Category><Title>a</Title></Info>"
                             L"<Info><Category>FIRM</Category><Title>b</Title></Info>"
                             L"<Info><Category>FIRM</Category><Title>c</Title></Info></Log>"),
              0);
    ComPtr<IXMLDOMNode> first, none, below;
    {
        TraceCapture trace;
        ASSERT_EQ(CAUXMLParser::SelectFirstNode(parser, L"Log/Info[Category='FIRM']/Title", first), 0);
        EXPECT_EQ(CAUXMLParser::SelectFirstNode(parser, L"Log/Info[Category='NONE']", none), 1);
        // Paths start at the document node, so a step below the root alone matches nothing.
        EXPECT_EQ(CAUXMLParser::SelectFirstNode(parser, L"Info", below), 1);
        EXPECT_TRUE(trace.Lines().empty());
    }
    std::wstring value;
    parser.GetNodeValue(first.get(), value);
    EXPECT_EQ(value, L"b");
    EXPECT_FALSE(none);
}

TEST_F(AUXMLParserTest, BuildsSavesAndReadsBackADocument) {
    CAUXMLParser parser;
    ASSERT_EQ(parser.LoadXML(L"<Old/>"), 0);
    TraceCapture trace;
    ASSERT_EQ(parser.CreateConfigDocument(), 0);
    EXPECT_TRUE(trace.Lines().empty());
    ComPtr<IXMLDOMNode> proxy;
    ASSERT_EQ(parser.CreateNode(nullptr, L"ProxyInfo", L"", L"ScUpdater.config", &proxy), 0);
    ASSERT_TRUE(proxy);
    EXPECT_EQ(parser.CreateNode(proxy.get(), L"ProxyServer", L"host:8080", L"ScUpdater.config"), 0);
    EXPECT_EQ(parser.CreateNode(proxy.get(), L"ProxyPwd", L"", L"ScUpdater.config"), 0);
    EXPECT_EQ(parser.CreateNode(nullptr, L"Note", L"<&>", L""), 0);
    EXPECT_EQ(trace.Count(L"Success: XML File Saved Successfully"), 3);
    EXPECT_EQ(trace.Count(L"Success: Created Node"), 1);
    EXPECT_EQ(trace.Count(L"Enter : CAUXMLParser::CreateNode()"), 4);

    const std::wstring file = dataFolder_ + L"ScUpdater.config";
    EXPECT_EQ(ShapeOfFile(file), L"Config(ProxyInfo(ProxyServer=host:8080,ProxyPwd=))");
    EXPECT_EQ(ReadTextFile(file).find("<?xml"), std::string::npos);
    ASSERT_EQ(parser.SaveXML(file), 0);
    EXPECT_EQ(ShapeOfFile(file), L"Config(ProxyInfo(ProxyServer=host:8080,ProxyPwd=),Note=<&>)");

    std::wstring text;
    ASSERT_EQ(parser.XMLTOString(text), 0);
    EXPECT_EQ(text.find(L"<?xml"), std::wstring::npos);
    EXPECT_NE(text.find(L"&lt;&amp;&gt;"), std::wstring::npos);
    EXPECT_TRUE(trace.Contains(L"Success: Successfully convered XML Doc to String"));

    EXPECT_EQ(parser.SaveXML(dir_ + L"\\no\\such\\folder\\x.xml"), 1);
    EXPECT_TRUE(trace.Contains(L"Failed: XML File Not Saved"));
    ASSERT_EQ(parser.CreateConfigDocument(), 0);
    EXPECT_EQ(Shape(parser.Root()), L"Config=");
}

TEST_F(AUXMLParserTest, SetNodeValueSavesOnlyWithAFileName) {
    CAUXMLParser parser;
    ComPtr<IXMLDOMNode> node;
    EXPECT_EQ(parser.SetNodeValue(nullptr, L"x", L"a.xml"), 1);  // no root
    ASSERT_EQ(parser.LoadXML(L"<Config><Printer>old</Printer></Config>"), 0);
    ASSERT_EQ(parser.GetFristSelectedNode(nullptr, L"Printer", node), 0);
    EXPECT_EQ(parser.SetNodeValue(nullptr, L"x", L"a.xml"), 1);

    TraceCapture trace;
    ASSERT_EQ(parser.SetNodeValue(node.get(), L"new", L"a.xml"), 0);
    EXPECT_EQ(ShapeOfFile(dataFolder_ + L"a.xml"), L"Config(Printer=new)");
    EXPECT_EQ(parser.SetNodeValue(node.get(), L"newer", L""), 0);
    EXPECT_EQ(trace.Count(L"Setting Node Value"), 2);
    EXPECT_EQ(trace.Count(L"Enter : CAUXMLParser::SaveXML()"), 1);
    EXPECT_EQ(ShapeOfFile(dataFolder_ + L"a.xml"), L"Config(Printer=new)");

    CAUXMLParser::SetDataFolderSource({});
    EXPECT_EQ(parser.SetNodeValue(node.get(), L"x", L"a.xml"), 1);
}

TEST_F(AUXMLParserTest, CreateNodeReportsEveryRefusedStep) {
    CAUXMLParser parser;
    TraceCapture trace;
    ComPtr<IXMLDOMNode> node;
    ASSERT_EQ(parser.CreateNode(nullptr, L"RequestInfo", L"", L"", &node), 0);
    EXPECT_EQ(parser.Root(), nullptr);  // the document's first element does not become the root
    // The output may hold the parent.
    ASSERT_EQ(parser.CreateNode(node.get(), L"ModelInfo", L"", L"", &node), 0);
    ASSERT_EQ(parser.CreateNode(node.get(), L"Model", L"", L"", &node), 0);
    EXPECT_EQ(parser.CreateNode(nullptr, L"Second", L"", L"", &node), 1);
    EXPECT_FALSE(node);
    EXPECT_TRUE(trace.Contains(L"Failed: Appending child to document node failed"));
    EXPECT_EQ(Shape(parser.Document()), L"#document(RequestInfo(ModelInfo(Model=)))");

    ASSERT_EQ(parser.LoadXML(L"<Config a='1'/>"), 0);
    ComPtr<IXMLDOMAttribute> attribute;
    ASSERT_EQ(parser.Root()->getAttributeNode(scup::XmlBstr(L"a").get(), attribute.put()), S_OK);
    EXPECT_EQ(parser.CreateNode(attribute.get(), L"Child", L"", L"a.xml"), 1);
    EXPECT_TRUE(trace.Contains(L"Failed: Appending child to parent failed"));
    EXPECT_EQ(parser.CreateNode(nullptr, L"", L"", L"a.xml"), 1);
    EXPECT_EQ(Shape(parser.Root()), L"Config=");
    EXPECT_FALSE(FileExists(dataFolder_ + L"a.xml"));
    EXPECT_EQ(trace.Count(L"Success: Created Node"), 3);
}

TEST_F(AUXMLParserTest, AParserWithoutDocumentFailsEverything) {
    // A thread without COM cannot create the DOM document.
    std::vector<int> results;
    std::vector<std::wstring> lines;
    std::thread([&] {
        TraceCapture trace;
        CAUXMLParser parser;
        std::wstring text;
        ComPtr<IXMLDOMNodeList> list;
        ComPtr<IXMLDOMNode> node;
        results = {parser.CreateConfigDocument(), parser.LoadXML(L"<a/>"), parser.Load(L"x.xml"),
                   parser.XMLTOString(text), parser.CreateNode(nullptr, L"a", L"", L"a.xml"),
                   parser.SaveXML(L"x.xml"), CAUXMLParser::SelectFirstNode(parser, L"a", node)};
        lines = trace.Lines();
    }).join();
    EXPECT_EQ(results, std::vector<int>(7, 1));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), L"Failed: creating the DOM Document Object");
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"Failed: XML File Not Saved"), lines.end());
}

TEST_F(AUXMLParserTest, HistoryDocumentLivesFromCreationToRelease) {
    ComPtr<IXMLDOMNodeList> list;
    EXPECT_EQ(CAUXMLParser::HistoryDocument(), nullptr);
    EXPECT_EQ(CAUXMLParser::CreateLogDocument(), 1);
    EXPECT_EQ(CAUXMLParser::SelectNodeList(L"Log/Info", list), 1);

    CAUXMLParser& log = CAUXMLParser::CreateHistoryDocument();
    EXPECT_EQ(&CAUXMLParser::CreateHistoryDocument(), &log);
    EXPECT_EQ(CAUXMLParser::HistoryDocument(), &log);
    EXPECT_EQ(log.Load(dataFolder_ + L"ScUpdater.log"), 1);
    TraceCapture trace;
    ASSERT_EQ(CAUXMLParser::CreateLogDocument(), 0);
    for (const wchar_t* category : {L"PCS", L"FIRM", L"PCS"}) {
        ComPtr<IXMLDOMNode> info;
        ASSERT_EQ(log.CreateNode(nullptr, L"Info", L"", L"ScUpdater.log", &info), 0);
        ASSERT_EQ(log.CreateNode(info.get(), L"Category", category, L"ScUpdater.log"), 0);
    }
    ASSERT_EQ(CAUXMLParser::SelectNodeList(L"Log/Info[Category='PCS']", list), 0);
    EXPECT_EQ(Texts(list.get()), (std::vector<std::wstring>{L"PCS", L"PCS"}));
    ASSERT_EQ(CAUXMLParser::SelectNodeList(L"Log/Info[Category='NONE']", list), 0);
    EXPECT_TRUE(Texts(list.get()).empty());
    EXPECT_EQ(ShapeOfFile(dataFolder_ + L"ScUpdater.log"),
              L"Log(Info(Category=PCS),Info(Category=FIRM),Info(Category=PCS))");
    EXPECT_EQ(trace.Count(L"Success: XML File Saved Successfully"), 6);

    // A second start from the saved file sees the same records; a new log starts empty.
    ASSERT_EQ(log.Load(dataFolder_ + L"ScUpdater.log"), 0);
    ASSERT_EQ(CAUXMLParser::SelectNodeList(L"Log/Info[Category='FIRM']", list), 0);
    EXPECT_EQ(Texts(list.get()).size(), 1u);
    ASSERT_EQ(CAUXMLParser::CreateLogDocument(), 0);
    EXPECT_EQ(Shape(log.Root()), L"Log=");

    CAUXMLParser::ReleaseHistoryDocument();
    EXPECT_EQ(CAUXMLParser::HistoryDocument(), nullptr);
    EXPECT_EQ(CAUXMLParser::SelectNodeList(L"Log/Info", list), 1);
}

}  // namespace
