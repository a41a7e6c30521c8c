#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "TestSupport.h"
#include "XmlShape.h"
#include "common/AppFiles.h"
#include "common/Handles.h"
#include "local/AUConfigXML.h"
#include "local/AUCrypt.h"

namespace {

using namespace testing_support;

class ConfigXMLTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = MakeScratchFolder(L"config");
        dataFolder_ = dir_ + L"\\AppData\\Corvane\\ScUpdater\\";
        CAUXMLParser::SetDataFolderSource([this] { return dataFolder_; });
        file_ = dataFolder_ + L"ScUpdater.config";
    }
    void TearDown() override {
        CAUXMLParser::SetDataFolderSource({});
        scup::RemoveFolder(dir_);
    }

    // A configuration object over the given file content, as the program starts with it.
    std::unique_ptr<CAUConfigXML> StartWith(const std::string& content) {
        PutFile(content);
        return Started();
    }
    void PutFile(const std::string& content) {
        CreateDirectoryW((dir_ + L"\\AppData").c_str(), nullptr);
        CreateDirectoryW((dir_ + L"\\AppData\\Corvane").c_str(), nullptr);
        CreateDirectoryW(dataFolder_.c_str(), nullptr);
        WriteTextFile(file_, content);
    }
    static std::unique_ptr<CAUConfigXML> Started() {
        auto config = std::make_unique<CAUConfigXML>();
        EXPECT_TRUE(config->Initialize());
        return config;
    }

    std::vector<std::wstring> FilesInDataFolder() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found{};
        scup::UniqueFind find(FindFirstFileW((dataFolder_ + L"*").c_str(), &found));
        if (!find) return names;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
        } while (FindNextFileW(find.get(), &found));
        std::sort(names.begin(), names.end());
        return names;
    }

    std::wstring dir_;
    std::wstring dataFolder_;
    std::wstring file_;
};

SAUProxyInfo Proxy(const std::wstring& server, const std::wstring& user, const std::wstring& password,
                   int use) {
    SAUProxyInfo info;
    info.strProxyServer = server;
    info.strProxyUser = user;
    info.strProxyPwd = password;
    info.bUseProxy = use;
    return info;
}

TEST_F(ConfigXMLTest, WithoutAFileReadsFailAndTheFirstWriteCreatesIt) {
    TraceCapture trace;
    auto config = Started();
    EXPECT_TRUE(trace.Contains(L"Enter : CAUConfigXML::CAUConfigXML::Initialize()"));
    EXPECT_FALSE(FileExists(file_)) << "initialising must not save";

    SAUProxyInfo read = Proxy(L"keep:1", L"keep", L"keep", 1);
    EXPECT_EQ(config->GetProxyInfo(read), 1);
    EXPECT_EQ(read.strProxyServer, L"keep:1");
    std::wstring printer = L"p", language = L"l", ui = L"u";
    EXPECT_EQ(config->GetUIDefaultSelection(printer, language, ui), 1);

    EXPECT_EQ(config->SetProxyInfo(Proxy(L"proxy.example:8080", L"alice", L"s3cret", 1)), 0);
    EXPECT_TRUE(trace.Contains(L"Success:Proxy Info is Set successfully"));
    EXPECT_EQ(trace.Count(L"Enter : CAUConfigXML::SetProxyInfo()"), 1);
    EXPECT_EQ(trace.Count(L"Exit : CAUConfigXML::SetProxyInfo()"), 1);
    // The stored form is Base64 text; its line end is white space the file does not keep.
    std::wstring stored = CAUCrypt::EncryptData(L"s3cret");
    while (!stored.empty() && iswspace(stored.back())) stored.pop_back();
    EXPECT_EQ(ShapeOfFile(file_),
              L"Config(ProxyInfo(ProxyServer=proxy.example:8080,ProxyUser=alice,ProxyPwd=" + stored +
                  L",ProxyUse=true))");
    EXPECT_EQ(ReadTextFile(file_).find("s3cret"), std::string::npos) << "the password is stored enciphered";

    // The next start reads back exactly what was written.
    auto next = Started();
    SAUProxyInfo back;
    ASSERT_EQ(next->GetProxyInfo(back), 0);
    EXPECT_EQ(back.strProxyServer, L"proxy.example:8080");
    EXPECT_EQ(back.strProxyUser, L"alice");
    EXPECT_EQ(back.strProxyPwd, L"s3cret");
    EXPECT_EQ(back.bUseProxy, 1);
}

TEST_F(ConfigXMLTest, TheUseSwitchIsTrueOnlyForTheExactTextAndAbsentLeavesTheCallersFlag) {
    struct Case {
        const char* useElement;
        int callerFlag;
        int expected;
    };
    const Case cases[] = {
        {"<ProxyUse>true</ProxyUse>", 0, 1},
        {"<ProxyUse>True</ProxyUse>", 1, 0},
        {"<ProxyUse>1</ProxyUse>", 1, 0},
        {"<ProxyUse>false</ProxyUse>", 1, 0},
        {"<ProxyUse></ProxyUse>", 1, 1},
        {"<ProxyUse></ProxyUse>", 0, 0},
        {"", 1, 1},
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        auto config = StartWith(std::string("<Config><ProxyInfo><ProxyServer>h:1</ProxyServer><ProxyUser/>"
                                            "<ProxyPwd/>") +
                                c.useElement + "</ProxyInfo></Config>");
        SAUProxyInfo info;
        info.bUseProxy = c.callerFlag;
        EXPECT_EQ(config->GetProxyInfo(info), 0) << c.useElement;
        EXPECT_EQ(info.bUseProxy, c.expected) << c.useElement << " with caller flag " << c.callerFlag;
    }
}

TEST_F(ConfigXMLTest, PasswordsEmptyOrUndecipherableReadAsEmpty) {
    auto config = Started();
    ASSERT_EQ(config->SetProxyInfo(Proxy(L"h:8080", L"bob", L"", 0)), 0);
    EXPECT_EQ(ShapeOfFile(file_),
              L"Config(ProxyInfo(ProxyServer=h:8080,ProxyUser=bob,ProxyPwd=,ProxyUse=false))");
    SAUProxyInfo info = Proxy(L"", L"", L"stale", 1);
    ASSERT_EQ(config->GetProxyInfo(info), 0);
    EXPECT_EQ(info.strProxyPwd, L"");
    EXPECT_EQ(info.bUseProxy, 0);

    auto broken = StartWith(
        "<Config><ProxyInfo><ProxyServer>h:1</ProxyServer><ProxyUser>u</ProxyUser><ProxyPwd>%%%not base64%%%"
        "</ProxyPwd></ProxyInfo></Config>");
    info = Proxy(L"", L"", L"stale", 0);
    EXPECT_EQ(broken->GetProxyInfo(info), 0);
    EXPECT_EQ(info.strProxyPwd, L"");
    EXPECT_EQ(info.strProxyUser, L"u");
}

TEST_F(ConfigXMLTest, ReadsReportTheFirstMissingElementAndKeepWhatWasRead) {
    TraceCapture trace;
    auto config = StartWith(
        "<Config><DefaultSelection><Printer>Corvane SC-200</Printer></DefaultSelection>"
        "<ProxyInfo><ProxyServer>h:1</ProxyServer></ProxyInfo></Config>");
    std::wstring printer, language = L"before", ui = L"before";
    EXPECT_EQ(config->GetUIDefaultSelection(printer, language, ui), 1);
    EXPECT_EQ(printer, L"Corvane SC-200");
    EXPECT_EQ(language, L"before");
    EXPECT_TRUE(trace.Contains(L"Failed: retreiving the Default Language node"));

    SAUProxyInfo info;
    EXPECT_EQ(config->GetProxyInfo(info), 1);
    EXPECT_EQ(info.strProxyServer, L"h:1");
    EXPECT_TRUE(trace.Contains(L"Failed: retreiving the proxyuser node"));

    // Children are found by name whatever their order in the file.
    auto reordered = StartWith(
        "<Config><DefaultSelection><UiLanguage>ja</UiLanguage><Language>1041</Language>"
        "<Printer>P</Printer></DefaultSelection></Config>");
    EXPECT_EQ(reordered->GetUIDefaultSelection(printer, language, ui), 0);
    EXPECT_EQ(printer + L"|" + language + L"|" + ui, L"P|1041|ja");
}

TEST_F(ConfigXMLTest, WritingCreatesOnlyMissingElementsAndKeepsTheOthersInPlace) {
    TraceCapture trace;
    auto config = StartWith(
        "<Config><ProxyInfo><ProxyServer>h:1</ProxyServer><ProxyUser>u</ProxyUser>"
        "<ProxyPwd/><ProxyUse>true</ProxyUse></ProxyInfo>"
        "<DefaultSelection><Printer>Old</Printer><Language>1033</Language></DefaultSelection>"
        "</Config>");
    EXPECT_EQ(config->SetUIDefaultSelection(L"New", L"1041", L"Japanese"), 0);
    EXPECT_TRUE(trace.Contains(L"Success:DefaultSelection Data is Set successfully"));
    EXPECT_EQ(ShapeOfFile(file_),
              L"Config(ProxyInfo(ProxyServer=h:1,ProxyUser=u,ProxyPwd=,ProxyUse=true),"
              L"DefaultSelection(Printer=New,Language=1041,UiLanguage=Japanese))");
    // One save per element written.
    EXPECT_EQ(trace.Count(L"Success: XML File Saved Successfully"), 3);

    std::wstring printer, language, ui;
    auto next = Started();
    ASSERT_EQ(next->GetUIDefaultSelection(printer, language, ui), 0);
    EXPECT_EQ(printer + L"|" + language + L"|" + ui, L"New|1041|Japanese");
}

TEST_F(ConfigXMLTest, AnUnreadableFileIsKeptAsideBeforeAnythingIsSavedOverIt) {
    const std::string damaged = "<Config><ProxyInfo><ProxyServer>important:3128</Proxy";
    TraceCapture trace;
    auto config = StartWith(damaged);
    EXPECT_EQ(ReadTextFile(file_ + L".bad"), damaged);
    EXPECT_FALSE(FileExists(file_));
    EXPECT_TRUE(trace.Contains(L"Failed: " + file_ + L" could not be read; kept as " + file_ + L".bad"));

    ASSERT_EQ(config->SetUIDefaultSelection(L"P", L"1033", L"English"), 0);
    EXPECT_EQ(ShapeOfFile(file_), L"Config(DefaultSelection(Printer=P,Language=1033,UiLanguage=English))");
    EXPECT_EQ(ReadTextFile(file_ + L".bad"), damaged);

    // A second damaged file does not replace the first one kept.
    StartWith("not xml at all");
    EXPECT_EQ(ReadTextFile(file_ + L".bad"), damaged);
    EXPECT_EQ(ReadTextFile(file_ + L".bad2"), "not xml at all");

    // An empty file holds nothing to keep.
    StartWith("");
    EXPECT_FALSE(FileExists(file_ + L".bad3"));
}

TEST_F(ConfigXMLTest, AGoodFileIsNeitherMovedAsideNorSavedOverWhenNoXmlDocumentCanBeMade) {
    const std::string good =
        "<Config><ProxyInfo><ProxyServer>h:1</ProxyServer><ProxyUser>u</ProxyUser>"
        "<ProxyPwd/><ProxyUse>false</ProxyUse></ProxyInfo></Config>";
    PutFile(good);
    // A thread that has not initialised COM cannot make the XML document object.
    std::thread([] {
        CAUConfigXML config;
        EXPECT_TRUE(config.Initialize());
        config.SetUIDefaultSelection(L"P", L"1033", L"English");
    }).join();
    EXPECT_EQ(ReadTextFile(file_), good);
    EXPECT_FALSE(FileExists(file_ + L".bad"));
}

TEST_F(ConfigXMLTest, ALockedFileIsNeitherLostNorReportedAsSaved) {
    auto config = StartWith(
        "<Config><ProxyInfo><ProxyServer>h:1</ProxyServer><ProxyUser>u</ProxyUser>"
        "<ProxyPwd/><ProxyUse>false</ProxyUse></ProxyInfo></Config>");
    const std::string before = ReadTextFile(file_);
    {
        // Another program holds the file open and lets nobody replace it.
        scup::UniqueFile holder(CreateFileW(file_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        TraceCapture trace;
        EXPECT_EQ(config->SetProxyInfo(Proxy(L"other:8080", L"u", L"", 1)), 1);
        EXPECT_TRUE(trace.Contains(L"Failed: Proxy info is not set"));
        EXPECT_EQ(config->SetUIDefaultSelection(L"P", L"1033", L"English"), 1);
    }
    EXPECT_EQ(ReadTextFile(file_), before);
    EXPECT_EQ(FilesInDataFolder(), std::vector<std::wstring>{L"ScUpdater.config"})
        << "no temporary file is left";

    // Once the other program lets go, the next writes go through in full.
    EXPECT_EQ(config->SetProxyInfo(Proxy(L"other:8080", L"u", L"", 1)), 0);
    EXPECT_EQ(config->SetUIDefaultSelection(L"P", L"1033", L"English"), 0);
    EXPECT_EQ(ShapeOfFile(file_),
              L"Config(ProxyInfo(ProxyServer=other:8080,ProxyUser=u,ProxyPwd=,ProxyUse=true),"
              L"DefaultSelection(Printer=P,Language=1033,UiLanguage=English))");
    EXPECT_EQ(FilesInDataFolder(), std::vector<std::wstring>{L"ScUpdater.config"});
}

TEST_F(ConfigXMLTest, AFileThatCanNeitherBeReadNorMovedIsNeverSavedOver) {
    const std::string content = "<Config><DefaultSelection><Printer>Mine</Printer>";
    PutFile(content);
    // Held open without any sharing: it cannot be read, moved or replaced while the program starts.
    scup::UniqueFile holder(
        CreateFileW(file_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    auto config = Started();
    holder.reset();
    EXPECT_FALSE(FileExists(file_ + L".bad"));
    EXPECT_EQ(config->SetUIDefaultSelection(L"P", L"1033", L"English"), 1);
    EXPECT_EQ(ReadTextFile(file_), content);
}

}  // namespace
