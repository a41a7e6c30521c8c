#include <gtest/gtest.h>

#include <regex>

#include "TestSupport.h"
#include "XmlShape.h"
#include "server/AUFileUpdateRequestXML.h"
#include "server/AUFileUpdateResponseXML.h"
#include "server/AUNoticeRequestXML.h"
#include "server/AUNoticeResponseXML.h"
#include "server/AUVersionRequestXML.h"
#include "server/AUVersionResponseXML.h"

namespace {

using namespace testing_support;
using scup::ComPtr;

// The request as the server receives it: the declaration, then the serialised tree, read back
// into a document of its own.
std::wstring WireShape(const CAUXMLParser& request) {
    std::wstring text;
    if (request.XMLTOString(text) != 0) return L"(not serialised)";
    CAUXMLParser received;
    if (received.LoadXML(L"<?xml version='1.0' ?>" + text) != 0) return L"(not well-formed) " + text;
    return Shape(received.Root());
}

std::wstring SerialisedText(const CAUXMLParser& parser) {
    std::wstring text;
    parser.XMLTOString(text);
    return text;
}

// Answers are written the way the update server writes them: a declaration and indented elements.
class ServerAnswer {
  public:
    explicit ServerAnswer(const std::wstring& body) {
        loaded_ = parser_.LoadXML(L"<?xml version=\"1.0\"?>\n" + body) == 0;
    }
    const CAUXMLParser& parser() const { return parser_; }
    bool loaded() const { return loaded_; }

  private:
    CAUXMLParser parser_;
    bool loaded_ = false;
};

SAUExtFirmInfo Package(const std::wstring& name, const std::wstring& id, const std::wstring& spec,
                       const std::wstring& category) {
    SAUExtFirmInfo package;
    package.strName = name;
    package.strId = id;
    package.strSpec = spec;
    package.strCategory = category;
    return package;
}

std::wstring Keys(const ComponentList& list) {
    std::wstring keys;
    for (const auto& [key, entry] : list) keys += (keys.empty() ? L"" : L" ") + key;
    return keys;
}

// ---------------------------------------------------------------------------------------------
// Requests

TEST(ServerRequestTest, VersionCheckRequestNamesThePrinterAndQueryKey) {
    CAUXMLParser request;
    {
        TraceCapture trace;
        ASSERT_EQ(CAUVersionRequestXML::CreateVersionRequestXml(request, L"Corvane SC-2000", L"USA_USA"), 0);
        EXPECT_EQ(trace.Count(L"Success: Successfully created the version requestXML"), 1);
        EXPECT_EQ(trace.Lines().front(), L"Enter : CAUVersionRequestXML::CreateVersionRequestXml()");
        EXPECT_EQ(trace.Lines().back(), L"Exit : CAUVersionRequestXML::CreateVersionRequestXml()");
    }
    EXPECT_EQ(WireShape(request),
              L"RequestInfo(FirmUpdateToolInfo(FirmCategory=ES_TOOL,OS=WIN,Area=ALL,InspectMode=0),"
              L"ModelInfo(Model(Name=Corvane SC-2000,Spec=USA_USA)))");

    CAUXMLParser empty;
    ASSERT_EQ(CAUVersionRequestXML::CreateVersionRequestXml(empty, L"", L""), 0);
    EXPECT_EQ(WireShape(empty),
              L"RequestInfo(FirmUpdateToolInfo(FirmCategory=ES_TOOL,OS=WIN,Area=ALL,InspectMode=0),"
              L"ModelInfo(Model(Name=,Spec=)))");
}

TEST(ServerRequestTest, CallerTextsCannotChangeTheRequestStructure) {
    CAUXMLParser request;
    const std::wstring printer = L"A&B <Spec>x</Spec> \"\x65E5\x672C\"";
    ASSERT_EQ(CAUVersionRequestXML::CreateVersionRequestXml(request, printer, L"]]><Model/>"), 0);
    EXPECT_EQ(WireShape(request),
              L"RequestInfo(FirmUpdateToolInfo(FirmCategory=ES_TOOL,OS=WIN,Area=ALL,InspectMode=0),"
              L"ModelInfo(Model(Name=" +
                  printer + L",Spec=]]><Model/>)))");
}

TEST(ServerRequestTest, NoticeRequestPresentsTheUpdaterAsAModelOfItsOwn) {
    std::wstring os;
    ASSERT_EQ(CAUNoticeRequestXML::GetOSVersion(os), 0);
    CAUXMLParser request;
    {
        TraceCapture trace;
        ASSERT_EQ(CAUNoticeRequestXML::CreateNoticeRequestXml(request, L"ENU"), 0);
        EXPECT_EQ(trace.Lines().front(), L"Enter : CAUNoticeRequestXML::CreateNoticeRequestXml()");
        EXPECT_EQ(trace.Lines().back(), L"Exit : CAUNoticeRequestXML::CreateNoticeRequestXml()");
        EXPECT_EQ(trace.Count(L"Enter : CAUNoticeRequestXML::GetOSVersion()"), 1);
    }
    EXPECT_EQ(WireShape(request),
              L"RequestInfo(Version=1.0,FirmupdateToolSetting(OsInfo(Version=" + os +
                  L",Locale=ENU)),DisplayLevel=0,ModelInfo(Model(OrderNumber=1,Name=SC-UPDATER,"
                  L"Spec=USA_USA,FirmInfo(Firm(Category=,Id=DUMMY,Version=0)))))");
}

TEST(ServerRequestTest, OperatingSystemTextFollowsTheServersPattern) {
    EXPECT_EQ(CAUNoticeRequestXML::FormatOSVersion(6, 1, false, false), L"W6_1");
    EXPECT_EQ(CAUNoticeRequestXML::FormatOSVersion(6, 1, false, true), L"W6_1_x64");
    EXPECT_EQ(CAUNoticeRequestXML::FormatOSVersion(6, 2, true, true), L"W6_2_Server_x64");
    EXPECT_EQ(CAUNoticeRequestXML::FormatOSVersion(10, 0, true, false), L"W10_0_Server");

    // This program is built for 64-bit Windows, so it always runs on a 64-bit system.
    std::wstring os;
    EXPECT_EQ(CAUNoticeRequestXML::GetOSVersion(os), 0);
    EXPECT_TRUE(std::regex_match(os, std::wregex(L"W[0-9]+_[0-9]+(_Server)?_x64"))) << os;
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    ASSERT_TRUE(GetVersionExW(&version));
    EXPECT_EQ(os.rfind(L"W" + std::to_wstring(version.dwMajorVersion) + L"_" +
                           std::to_wstring(version.dwMinorVersion) + L"_",
                       0),
              0u)
        << os;
}

TEST(ServerRequestTest, FileUpdateRequestDescribesThePackageAndItsPrinter) {
    SAUExtFirmInfo package = Package(L"SC-2000", L"FP-MAIN", L"USA_USA", L"FIRM");
    package.strInstalledVersion = L"1.05";
    package.strURL = L"http://not.sent/x.zip";
    CAUXMLParser request;
    {
        TraceCapture trace;
        ASSERT_EQ(CAUFileUpdateRequestXML::CreateFileRequestXml(request, package), 0);
        EXPECT_EQ(trace.Count(L"Success:FileRequest created successfully"), 1);
        EXPECT_EQ(trace.Lines().back(), L"Exit : CAUFileUpdateRequestXML::CreateFileRequestXml()");
    }
    EXPECT_EQ(WireShape(request),
              L"RequestInfo(FirmUpdateToolInfo(FirmCategory=,OS=WIN,Area=ALL,InspectMode=0),"
              L"FirmUpdateInfo(Model(SelialNo=,Name=SC-2000,Spec=USA_USA,Driver=Corvane SC-2000,"
              L"Firm(Category=FIRM,Id=FP-MAIN,Version=1.05)),DriverCnt=,LogNo=2,NeedResponse=1))");

    CAUXMLParser bare;
    ASSERT_EQ(CAUFileUpdateRequestXML::CreateFileRequestXml(bare, Package(L"", L"P-EDIT", L"JPN_JPN", L"")),
              0);
    EXPECT_EQ(WireShape(bare),
              L"RequestInfo(FirmUpdateToolInfo(FirmCategory=,OS=WIN,Area=ALL,InspectMode=0),"
              L"FirmUpdateInfo(Model(SelialNo=,Name=,Spec=JPN_JPN,Driver=Corvane,"
              L"Firm(Category=,Id=P-EDIT,Version=)),DriverCnt=,LogNo=2,NeedResponse=1))");
    // The reading above trims; the blank after the maker's name is sent all the same.
    EXPECT_NE(SerialisedText(bare).find(L"<Driver>Corvane </Driver>"), std::wstring::npos)
        << SerialisedText(bare);
}

TEST(ServerRequestTest, RequestsAreNeverBuiltIntoADocumentThatHoldsOne) {
    CAUXMLParser loaded;
    ASSERT_EQ(loaded.LoadXML(L"<ResponseInfo><Message>old</Message></ResponseInfo>"), 0);
    TraceCapture trace;
    EXPECT_EQ(CAUVersionRequestXML::CreateVersionRequestXml(loaded, L"P", L"USA_USA"), 1);
    EXPECT_EQ(CAUNoticeRequestXML::CreateNoticeRequestXml(loaded, L"ENU"), 1);
    EXPECT_EQ(CAUFileUpdateRequestXML::CreateFileRequestXml(loaded, Package(L"P", L"I", L"S", L"")), 1);
    EXPECT_EQ(Shape(loaded.Root()), L"ResponseInfo(Message=old)");
    EXPECT_EQ(trace.Count(L"Success: Successfully created the version requestXML"), 0);
    EXPECT_EQ(trace.Count(L"Success:FileRequest created successfully"), 0);

    // Nor a second request into the document of the first.
    CAUXMLParser request;
    ASSERT_EQ(CAUVersionRequestXML::CreateVersionRequestXml(request, L"P", L"USA_USA"), 0);
    EXPECT_EQ(CAUVersionRequestXML::CreateVersionRequestXml(request, L"Q", L"JPN_JPN"), 1);
    EXPECT_EQ(WireShape(request),
              L"RequestInfo(FirmUpdateToolInfo(FirmCategory=ES_TOOL,OS=WIN,Area=ALL,InspectMode=0),"
              L"ModelInfo(Model(Name=P,Spec=USA_USA)))");

    // A failed load leaves no document behind, so the parser can take a request again.
    CAUXMLParser failed;
    ASSERT_EQ(failed.LoadXML(L"<broken>"), 1);
    EXPECT_EQ(CAUNoticeRequestXML::CreateNoticeRequestXml(failed, L"JPN"), 0);
}

// ---------------------------------------------------------------------------------------------
// Version check answers

const wchar_t kVersionAnswer[] =
    LR"(<ResponseInfo>
  <ModelInfo>
    <Model>
      <Name>SC-2000</Name>
      <Spec>USA_USA</Spec>
      <FirmInfo>
        <Firm>
          <Category>FIRM</Category>
          <Id>FP-MAIN</Id>
          <Version>1.10</Version>
        </Firm>
        <Firm>
          <Category>PCS</Category>
          <Id>P-EDIT</Id>
          <Version>5.2</Version>
        </Firm>
      </FirmInfo>
    </Model>
    <Model>
      <Name>SC-2000</Name>
      <Spec>EUR_DEU</Spec>
      <FirmInfo>
        <Firm>
          <Category>FIRM</Category>
          <Id>FP-MAIN</Id>
          <Version>1.11</Version>
        </Firm>
      </FirmInfo>
    </Model>
  </ModelInfo>
  <FirmUpdateToolInfo>
    <Build>
      <Version>2.4.1</Version>
    </Build>
    <Version>9.9</Version>
  </FirmUpdateToolInfo>
</ResponseInfo>)";

TEST(VersionAnswerTest, UpdaterVersionComesFromTheToolInfoOnly) {
    ServerAnswer answer(kVersionAnswer);
    ASSERT_TRUE(answer.loaded());
    TraceCapture trace;
    std::wstring version;
    ASSERT_EQ(CAUVersionResponseXML::GetUpdaterVersion(answer.parser(), version), 0);
    // The firmware versions come first in the document; the first at any depth below the tool counts.
    EXPECT_EQ(version, L"2.4.1");
    EXPECT_EQ(trace.Lines().front(), L"Enter : CAUVersionResponseXML::GetUpdaterVersion()");
    EXPECT_EQ(trace.Lines().back(), L"Exit : CAUVersionResponseXML::GetUpdaterVersion()");
}

TEST(VersionAnswerTest, AnswerWithoutUpdaterVersionFails) {
    ServerAnswer noTool(L"<ResponseInfo><Version>1.0</Version><ModelInfo/></ResponseInfo>");
    ServerAnswer noVersion(
        L"<ResponseInfo><FirmUpdateToolInfo><Name>x</Name></FirmUpdateToolInfo>"
        L"<Version>1.0</Version></ResponseInfo>");
    TraceCapture trace;
    std::wstring version = L"kept";
    EXPECT_EQ(CAUVersionResponseXML::GetUpdaterVersion(noTool.parser(), version), 1);
    EXPECT_EQ(trace.Count(L"Failed: retrieving the updater version"), 1);
    EXPECT_EQ(CAUVersionResponseXML::GetUpdaterVersion(noVersion.parser(), version), 1);
    EXPECT_EQ(version, L"kept");
    CAUXMLParser nothingLoaded;
    EXPECT_EQ(CAUVersionResponseXML::GetUpdaterVersion(nothingLoaded, version), 1);
}

TEST(VersionAnswerTest, EveryFirmBecomesAnEntryUnderItsIdAndSpec) {
    ServerAnswer answer(kVersionAnswer);
    ComponentList list{{L"old_key", SAUExtFirmInfo{}}};
    TraceCapture trace;
    ASSERT_EQ(CAUVersionResponseXML::GetPrinterFirmwareList(answer.parser(), list), 0);
    EXPECT_EQ(Keys(list), L"FP-MAIN_EUR_DEU FP-MAIN_USA_USA P-EDIT_USA_USA");
    const SAUExtFirmInfo& edit = list.at(L"P-EDIT_USA_USA");
    EXPECT_EQ(edit.strName, L"SC-2000");
    EXPECT_EQ(edit.strId, L"P-EDIT");
    EXPECT_EQ(edit.strSpec, L"USA_USA");
    EXPECT_EQ(edit.strCategory, L"PCS");
    // The offered version is not the installed one: what the PC has is found out later.
    EXPECT_EQ(edit.strInstalledVersion, L"");
    EXPECT_EQ(edit.nSequence, 0);
    EXPECT_EQ(edit.nNewInstall, 0);
    EXPECT_EQ(edit.strFilePath, L"");
    EXPECT_EQ(edit.strURL, L"");
    EXPECT_EQ(list.at(L"FP-MAIN_EUR_DEU").strCategory, L"FIRM");
    EXPECT_EQ(trace.Count(L"Count of Firmware retrieved : 3"), 1);
    EXPECT_EQ(trace.Count(L"Enter : CAUVersionResponseXML::GetFirmData()"), 2);
    EXPECT_EQ(trace.Count(L"Success: Retreived the printer model data successfully"), 2);
}

TEST(VersionAnswerTest, LaterFirmWithTheSameKeyReplacesTheEarlier) {
    ServerAnswer answer(
        LR"(<ResponseInfo>
  <ModelInfo>
    <Model><Name>SC-2000</Name><Spec>USA_USA</Spec>
      <FirmInfo><Firm><Category>OLD</Category><Id>FP-MAIN</Id></Firm></FirmInfo></Model>
    <Model><Name>SC-2000 LE</Name><Spec>USA_USA</Spec>
      <FirmInfo><Firm><Category>NEW</Category><Id>FP-MAIN</Id></Firm></FirmInfo></Model>
  </ModelInfo>
</ResponseInfo>)");
    ComponentList list;
    ASSERT_EQ(CAUVersionResponseXML::GetPrinterFirmwareList(answer.parser(), list), 0);
    ASSERT_EQ(Keys(list), L"FP-MAIN_USA_USA");
    EXPECT_EQ(list.at(L"FP-MAIN_USA_USA").strCategory, L"NEW");
    EXPECT_EQ(list.at(L"FP-MAIN_USA_USA").strName, L"SC-2000 LE");
}

TEST(VersionAnswerTest, MalformedModelsOnlyShortenTheList) {
    ServerAnswer answer(
        LR"(<ResponseInfo>
  <ModelInfo>
    <Model><Name>A</Name><Spec>S1</Spec>
      <FirmInfo>
        <Firm><Id>ONE</Id></Firm>
        <Firm><Category>FIRM</Category><Version>1</Version></Firm>
        <Firm><Id>AFTER-GAP</Id></Firm>
      </FirmInfo></Model>
    <Model><Name>B</Name><Spec>S2</Spec></Model>
    <Model><Spec>S3</Spec><FirmInfo><Firm><Id>NAMELESS</Id></Firm></FirmInfo></Model>
    <Model><Name>D</Name><Spec>S4</Spec><FirmInfo><Firm><Id>LAST</Id></Firm></FirmInfo></Model>
  </ModelInfo>
</ResponseInfo>)");
    ComponentList list;
    ASSERT_EQ(CAUVersionResponseXML::GetPrinterFirmwareList(answer.parser(), list), 0);
    // A Firm without Id ends its model; the model without FirmInfo gives nothing; later models count.
    EXPECT_EQ(Keys(list), L"LAST_S4 NAMELESS_S3 ONE_S1");
    EXPECT_EQ(list.at(L"ONE_S1").strCategory, L"");
    // A model without a name of its own does not take the next model's.
    EXPECT_EQ(list.at(L"NAMELESS_S3").strName, L"");
}

TEST(VersionAnswerTest, AnswerWithoutModelsGivesAnEmptyList) {
    ServerAnswer noModelInfo(
        L"<ResponseInfo><FirmUpdateToolInfo><Version>2.0</Version></FirmUpdateToolInfo>"
        L"<Model><Spec>S</Spec><FirmInfo><Firm><Id>X</Id></Firm></FirmInfo></Model>"
        L"</ResponseInfo>");
    ComponentList list{{L"old_key", SAUExtFirmInfo{}}};
    EXPECT_EQ(CAUVersionResponseXML::GetPrinterFirmwareList(noModelInfo.parser(), list), 1);
    EXPECT_TRUE(list.empty());

    ServerAnswer noFirmInfo(
        L"<ResponseInfo><ModelInfo><Model><Name>A</Name><Spec>S</Spec></Model>"
        L"</ModelInfo></ResponseInfo>");
    list[L"old_key"] = SAUExtFirmInfo{};
    TraceCapture trace;
    EXPECT_EQ(CAUVersionResponseXML::GetPrinterFirmwareList(noFirmInfo.parser(), list), 0);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(trace.Count(L"Count of Firmware retrieved : 0"), 1);
}

TEST(VersionAnswerTest, ModelDataIsReadFromThatModelOnly) {
    ServerAnswer answer(kVersionAnswer);
    ComponentList list;
    // No model given: nothing of the document's models may be taken in its place.
    EXPECT_EQ(CAUVersionResponseXML::GetFirmData(answer.parser(), nullptr, list), 1);
    EXPECT_TRUE(list.empty());

    ComPtr<IXMLDOMNodeList> models;
    ComPtr<IXMLDOMNode> second;
    ASSERT_EQ(answer.parser().GetNodeList(nullptr, L"Model", models), 0);
    ASSERT_EQ(models->get_item(1, second.put()), S_OK);
    EXPECT_EQ(CAUVersionResponseXML::GetFirmData(answer.parser(), second.get(), list), 0);
    EXPECT_EQ(Keys(list), L"FP-MAIN_EUR_DEU");

    // Entries of earlier models count toward the result of a model that adds none.
    ServerAnswer empty(L"<R><ModelInfo><Model><Spec>S</Spec><FirmInfo/></Model></ModelInfo></R>");
    ComPtr<IXMLDOMNode> bare;
    ASSERT_EQ(empty.parser().GetFristSelectedNode(nullptr, L"Model", bare), 0);
    EXPECT_EQ(CAUVersionResponseXML::GetFirmData(empty.parser(), bare.get(), list), 0);
    ComponentList none;
    EXPECT_EQ(CAUVersionResponseXML::GetFirmData(empty.parser(), bare.get(), none), 1);
}

// ---------------------------------------------------------------------------------------------
// Notice answers

std::wstring NoticeModel(const std::wstring& order, const std::wstring& version, const std::wstring& tool) {
    return L"<Model>" + order + L"<Name>SC-UPDATER</Name><Spec>USA_USA</Spec><FirmInfo><Firm><NewVersion>" +
           version + L"</NewVersion><DisplayVersion>Ver." + version + L"</DisplayVersion>" + tool +
           L"</Firm></FirmInfo></Model>";
}

std::wstring Tool(const std::wstring& jump, const std::wstring& size, const std::wstring& checksum) {
    return L"<FirmUpdateTool><Jump>" + jump + L"</Jump><FileSize>" + size + L"</FileSize><CheckSum>" +
           checksum + L"</CheckSum></FirmUpdateTool>";
}

std::wstring NoticeAnswer(const std::wstring& models) {
    return L"<ResponseInfo>\n  <ModelInfo>\n    " + models + L"\n  </ModelInfo>\n</ResponseInfo>";
}

const wchar_t kOrderOne[] = L"<OrderNumber>1</OrderNumber>";

TEST(NoticeAnswerTest, FillsTheUpgraderRecord) {
    ServerAnswer answer(
        LR"(<ResponseInfo>
  <ModelInfo>
    <Model>
      <OrderNumber>1</OrderNumber>
      <Name>SC-UPDATER</Name>
      <Spec>USA_USA</Spec>
      <FirmInfo>
        <Firm>
          <NewVersion>1.3.0</NewVersion>
          <DisplayVersion>Ver.1.3</DisplayVersion>
          <FirmUpdateTool>
            <Jump>http://127.0.0.1:8080/files/ScUpdater%20130.zip</Jump>
            <FileSize>1048576</FileSize>
            <CheckSum>n4bQgYhMfWWaL+qgxVrQFaO/TxsrC4Is0V1sFbDwCgg=</CheckSum>
          </FirmUpdateTool>
        </Firm>
      </FirmInfo>
    </Model>
  </ModelInfo>
</ResponseInfo>)");
    ASSERT_TRUE(answer.loaded());
    TraceCapture trace;
    SAUUpgraderInfo info;
    ASSERT_EQ(CAUNoticeResponseXML::GetUpgraderInfo(answer.parser(), info), 0);
    EXPECT_EQ(info.nFileSize, 1048576);
    EXPECT_EQ(info.strNewVersion, L"1.3.0");
    EXPECT_EQ(info.strDisplayVersion, L"Ver.1.3");
    EXPECT_EQ(info.strDownloadURL, L"http://127.0.0.1:8080/files/ScUpdater%20130.zip");
    EXPECT_EQ(info.strCheckSum, L"n4bQgYhMfWWaL+qgxVrQFaO/TxsrC4Is0V1sFbDwCgg=");
    EXPECT_EQ(trace.Count(L"Success: Upgrader info retreived successfully"), 1);
    EXPECT_EQ(trace.Lines().front(), L"Enter : CAUNoticeResponseXML::GetUpgraderInfo()");
    EXPECT_EQ(trace.Lines().back(), L"Exit : CAUNoticeResponseXML::GetUpgraderInfo()");
}

TEST(NoticeAnswerTest, OnlyAModelWithOrderNumberOneIsConsidered) {
    ServerAnswer answer(
        NoticeAnswer(NoticeModel(L"<OrderNumber>2</OrderNumber>", L"2.0", Tool(L"u2", L"2", L"c2")) +
                     NoticeModel(L"", L"3.0", Tool(L"u3", L"3", L"c3")) +
                     NoticeModel(L"<OrderNumber>01</OrderNumber>", L"1.5", Tool(L"u1", L"1", L"c1"))));
    SAUUpgraderInfo info;
    ASSERT_EQ(CAUNoticeResponseXML::GetUpgraderInfo(answer.parser(), info), 0);
    EXPECT_EQ(info.strNewVersion, L"1.5");
    EXPECT_EQ(info.strDisplayVersion, L"Ver.1.5");
    EXPECT_EQ(info.strDownloadURL, L"u1");
    EXPECT_EQ(info.nFileSize, 1);
    EXPECT_EQ(info.strCheckSum, L"c1");

    ServerAnswer noneFirst(
        NoticeAnswer(NoticeModel(L"<OrderNumber>2</OrderNumber>", L"2.0", Tool(L"u", L"2", L"c"))));
    EXPECT_EQ(CAUNoticeResponseXML::GetUpgraderInfo(noneFirst.parser(), info), 1);
}

TEST(NoticeAnswerTest, FirstModelWithAToolDecides) {
    const std::wstring noFirm = L"<Model><OrderNumber>1</OrderNumber><FirmInfo/></Model>";
    ServerAnswer answer(NoticeAnswer(noFirm + NoticeModel(kOrderOne, L"1.1", L"") +
                                     NoticeModel(kOrderOne, L"1.2", Tool(L"u12", L"12", L"c12")) +
                                     NoticeModel(kOrderOne, L"1.3", Tool(L"u13", L"13", L"c13"))));
    SAUUpgraderInfo info;
    ASSERT_EQ(CAUNoticeResponseXML::GetUpgraderInfo(answer.parser(), info), 0);
    EXPECT_EQ(info.strNewVersion, L"1.2");
    EXPECT_EQ(info.strDisplayVersion, L"Ver.1.2");
    EXPECT_EQ(info.strDownloadURL, L"u12");
    EXPECT_EQ(info.strCheckSum, L"c12");
}

TEST(NoticeAnswerTest, IncompleteAnswersFailAndLeaveTheRecordAsItWas) {
    const std::wstring complete = NoticeModel(kOrderOne, L"1.9", Tool(L"u", L"9", L"c"));
    const std::wstring answers[] = {
        // An order-one model without FirmInfo ends the reading, though a complete one follows.
        NoticeAnswer(L"<Model><OrderNumber>1</OrderNumber><Name>x</Name></Model>" + complete),
        NoticeAnswer(L"<Model><OrderNumber>1</OrderNumber><FirmInfo><Firm><NewVersion>1.9</NewVersion>" +
                     Tool(L"u", L"9", L"c") + L"</Firm></FirmInfo></Model>"),
        NoticeAnswer(NoticeModel(kOrderOne, L"1.9",
                                 L"<FirmUpdateTool><Jump>u</Jump><FileSize>9</FileSize></FirmUpdateTool>")),
        NoticeAnswer(
            NoticeModel(kOrderOne, L"1.9",
                        L"<FirmUpdateTool><FileSize>9</FileSize><CheckSum>c</CheckSum></FirmUpdateTool>")),
        NoticeAnswer(NoticeModel(kOrderOne, L"1.9",
                                 L"<FirmUpdateTool><Jump>u</Jump><CheckSum>c</CheckSum>"
                                 L"</FirmUpdateTool>")),
        // The tool of a later model does not complete an earlier one.
        NoticeAnswer(NoticeModel(kOrderOne, L"1.9", L"") + L"<Model><OrderNumber>2</OrderNumber>" +
                     Tool(L"u", L"9", L"c") + L"</Model>"),
        L"<ResponseInfo><Model>" + std::wstring(kOrderOne) + L"</Model></ResponseInfo>",
    };
    for (const std::wstring& body : answers) {
        ServerAnswer answer(body);
        ASSERT_TRUE(answer.loaded()) << body;
        SAUUpgraderInfo info;
        info.nFileSize = 5;
        info.strNewVersion = L"earlier";
        TraceCapture trace;
        EXPECT_EQ(CAUNoticeResponseXML::GetUpgraderInfo(answer.parser(), info), 1) << body;
        EXPECT_EQ(info.nFileSize, 5) << body;
        EXPECT_EQ(info.strNewVersion, L"earlier") << body;
        EXPECT_EQ(info.strDisplayVersion, L"") << body;
        EXPECT_EQ(info.strDownloadURL, L"") << body;
        EXPECT_EQ(trace.Count(L"Success: Upgrader info retreived successfully"), 0) << body;
        EXPECT_EQ(trace.Lines().back(), L"Exit : CAUNoticeResponseXML::GetUpgraderInfo()");
    }
}

TEST(NoticeAnswerTest, EmptyFileSizeKeepsTheSizeTheRecordHad) {
    ServerAnswer answer(NoticeAnswer(NoticeModel(kOrderOne, L"1.4", Tool(L"u", L"", L"c"))));
    SAUUpgraderInfo info;
    info.nFileSize = 4711;
    ASSERT_EQ(CAUNoticeResponseXML::GetUpgraderInfo(answer.parser(), info), 0);
    EXPECT_EQ(info.nFileSize, 4711);
    EXPECT_EQ(info.strNewVersion, L"1.4");
    EXPECT_EQ(info.strCheckSum, L"c");
}

// ---------------------------------------------------------------------------------------------
// File update answers

const wchar_t kFileUpdateAnswer[] =
    LR"(<ResponseInfo>
  <FirmUpdateInfo>
    <VersionCheck>0</VersionCheck>
    <Firm>
      <Category>FIRM</Category>
      <Id>FP-MAIN</Id>
      <Version>1.10</Version>
      <Path>http://127.0.0.1:8080/files/SC-2000/desc_main.zip</Path>
    </Firm>
    <Firm>
      <Id>SECOND</Id>
      <Path>http://127.0.0.1:8080/files/second.zip</Path>
    </Firm>
  </FirmUpdateInfo>
</ResponseInfo>)";

TEST(FileUpdateAnswerTest, ReadsTheFirstFirmsAddress) {
    ServerAnswer answer(kFileUpdateAnswer);
    ASSERT_TRUE(answer.loaded());
    TraceCapture trace;
    SAUFileUpdateInfo info;
    info.nVersionCheck = 9;
    ASSERT_EQ(CAUFileUpdateResponseXML::GetFileUpdateInfo(answer.parser(), info), 0);
    EXPECT_EQ(info.nVersionCheck, 0);
    EXPECT_EQ(info.strId, L"FP-MAIN");
    EXPECT_EQ(info.strPath, L"http://127.0.0.1:8080/files/SC-2000/desc_main.zip");
    EXPECT_EQ(trace.Count(L"Success:File Update Info is read successfully"), 1);
    EXPECT_EQ(trace.Lines().front(), L"Enter : CAUFileUpdateResponseXML::GetFileUpdateInfo()");
    EXPECT_EQ(trace.Lines().back(), L"Exit : CAUFileUpdateResponseXML::GetFileUpdateInfo)");
}

TEST(FileUpdateAnswerTest, VersionCheckIsTheDecimalValueOfItsLeadingDigits) {
    const std::pair<const wchar_t*, int> cases[] = {
        {L"1", 1}, {L"01", 1}, {L"abc", 0}, {L"12abc", 12}, {L"", 0}};
    for (const auto& [text, value] : cases) {
        ServerAnswer answer(
            L"<ResponseInfo><FirmUpdateInfo><VersionCheck>" + std::wstring(text) +
            L"</VersionCheck><Firm><Id>I</Id><Path>p</Path></Firm></FirmUpdateInfo></ResponseInfo>");
        SAUFileUpdateInfo info;
        info.nVersionCheck = -1;
        EXPECT_EQ(CAUFileUpdateResponseXML::GetFileUpdateInfo(answer.parser(), info), 0) << text;
        EXPECT_EQ(info.nVersionCheck, value) << text;
        EXPECT_EQ(info.strPath, L"p") << text;
    }
}

TEST(FileUpdateAnswerTest, IncompleteAnswersFailAndLeaveTheRecordAsItWas) {
    const std::wstring answers[] = {
        // What the server answers for a package it does not know.
        L"<ResponseInfo><Message>no package P-X for USA_USA</Message></ResponseInfo>",
        L"<ResponseInfo><FirmUpdateInfo><Firm><Id>I</Id><Path>p</Path></Firm></FirmUpdateInfo></"
        L"ResponseInfo>",
        L"<ResponseInfo><FirmUpdateInfo><VersionCheck>0</VersionCheck><Firm><Id>I</Id></Firm>"
        L"</FirmUpdateInfo></ResponseInfo>",
        L"<ResponseInfo><FirmUpdateInfo><VersionCheck>0</VersionCheck><Firm><Path>p</Path></Firm>"
        L"</FirmUpdateInfo></ResponseInfo>",
        // A Firm outside the FirmUpdateInfo is not its Firm.
        L"<ResponseInfo><FirmUpdateInfo><VersionCheck>0</VersionCheck></FirmUpdateInfo>"
        L"<Other><Firm><Id>I</Id><Path>p</Path></Firm></Other></ResponseInfo>",
        L"<FirmUpdateInfo><VersionCheck>0</VersionCheck><Firm><Id>I</Id><Path>p</Path></Firm></"
        L"FirmUpdateInfo>",
    };
    for (const std::wstring& body : answers) {
        ServerAnswer answer(body);
        ASSERT_TRUE(answer.loaded()) << body;
        SAUFileUpdateInfo info;
        info.nVersionCheck = 7;
        info.strId = L"earlier";
        TraceCapture trace;
        EXPECT_EQ(CAUFileUpdateResponseXML::GetFileUpdateInfo(answer.parser(), info), 1) << body;
        EXPECT_EQ(info.nVersionCheck, 7) << body;
        EXPECT_EQ(info.strId, L"earlier") << body;
        EXPECT_EQ(info.strPath, L"") << body;
        EXPECT_EQ(trace.Count(L"Success:File Update Info is read successfully"), 0) << body;
        EXPECT_EQ(trace.Lines().back(), L"Exit : CAUFileUpdateResponseXML::GetFileUpdateInfo)") << body;
    }
    CAUXMLParser nothingLoaded;
    SAUFileUpdateInfo info;
    EXPECT_EQ(CAUFileUpdateResponseXML::GetFileUpdateInfo(nothingLoaded, info), 1);
}

}  // namespace
