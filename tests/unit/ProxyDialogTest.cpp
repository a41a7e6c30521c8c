// The proxy settings and proxy credentials dialogs, driven through their real windows: the
// dialog runs modally on the test thread while a driver thread types, clicks and reads as a
// user would. The settings are stored in a real configuration file of a scratch data folder.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <utility>

#include "DialogDriver.h"
#include "TestSupport.h"
#include "common/AppFiles.h"
#include "common/LangResources.h"
#include "local/AUConfigXML.h"
#include "res/resource_ids.h"
#include "ui/ProxySettingDlg.h"
#include "ui/ProxyUserDlg.h"

namespace {

using namespace testing_support;

constexpr LANGID kEnglish = 1033;
constexpr LANGID kJapanese = 1041;
constexpr LANGID kArabic = 1025;

// Runs the dialog modally on this thread while the driver acts on its window from another. A
// dialog the driver leaves open is cancelled, so that a failing test cannot hang.
INT_PTR RunWithDriver(scup::CLangDialog& dialog, const std::function<void(HWND)>& drive) {
    const DWORD uiThread = GetCurrentThreadId();
    std::thread driver([&] {
        HWND hwnd = WaitForAnyThreadDialog(uiThread);
        if (!hwnd) {
            ADD_FAILURE() << "the dialog never appeared";
            return;
        }
        drive(hwnd);
        if (!WaitFor([&] { return !IsWindow(hwnd); })) {
            ADD_FAILURE() << "the driver left the dialog open";
            PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
        }
    });
    INT_PTR result = dialog.DoModal();
    driver.join();
    return result;
}

// What a user does: type into an edit (the edit tells the dialog), click, read.
void Type(HWND dialog, int id, const wchar_t* text) {
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}
bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

class ProxySettingDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = MakeScratchFolder(L"proxy");
        dataFolder_ = dir_ + L"\\data\\";
        CAUXMLParser::SetDataFolderSource([this] { return dataFolder_; });
        config_.Initialize();
    }
    void TearDown() override {
        CAUXMLParser::SetDataFolderSource({});
        scup::RemoveFolder(dir_);
    }

    void Store(const std::wstring& server, const std::wstring& user, const std::wstring& password,
               int useProxy) {
        SAUProxyInfo record;
        record.strProxyServer = server;
        record.strProxyUser = user;
        record.strProxyPwd = password;
        record.bUseProxy = useProxy;
        ASSERT_EQ(config_.SetProxyInfo(record), 0);
    }
    // The record as a fresh start of the program would read it from the file.
    SAUProxyInfo StoredOnDisk() const {
        CAUConfigXML reread;
        reread.Initialize();
        SAUProxyInfo record;
        record.bUseProxy = -1;
        reread.GetProxyInfo(record);
        return record;
    }
    std::string FileContent() const { return ReadTextFile(CAUConfigXML::ConfigFilePath()); }

    std::wstring dir_;
    std::wstring dataFolder_;
    CAUConfigXML config_;
};

TEST_F(ProxySettingDlgTest, OkNeedsHostAndPortWhileTheProxyIsOn) {
    Store(L"proxy.example:8080:ignored", L"alice", L"secret", 1);
    const std::string before = FileContent();
    scup::CProxySettingDlg dialog(kEnglish, config_);
    EXPECT_EQ(dialog.Host(), L"proxy.example");
    EXPECT_EQ(dialog.Port(), 8080u);

    INT_PTR result = RunWithDriver(dialog, [](HWND hwnd) {
        EXPECT_EQ(TextOf(hwnd, IDC_PROXY_HOST), L"proxy.example");
        EXPECT_EQ(TextOf(hwnd, IDC_PROXY_PORT), L"8080");
        EXPECT_TRUE(Checked(hwnd, IDC_PROXY_USE));
        EXPECT_TRUE(IsEnabled(hwnd, IDC_PROXY_HOST));
        EXPECT_TRUE(IsEnabled(hwnd, IDC_PROXY_PORT));
        EXPECT_TRUE(IsEnabled(hwnd, IDOK));

        Type(hwnd, IDC_PROXY_PORT, L"");
        EXPECT_FALSE(IsEnabled(hwnd, IDOK));
        // Enter reaches the dialog as OK even while the button is disabled: nothing may happen.
        SendMessageW(hwnd, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(IsWindow(hwnd));
        Type(hwnd, IDC_PROXY_PORT, L"3128");
        EXPECT_TRUE(IsEnabled(hwnd, IDOK));
        Type(hwnd, IDC_PROXY_HOST, L"");
        EXPECT_FALSE(IsEnabled(hwnd, IDOK));

        ClickButton(hwnd, IDC_PROXY_USE);
        EXPECT_FALSE(Checked(hwnd, IDC_PROXY_USE));
        EXPECT_FALSE(IsEnabled(hwnd, IDC_PROXY_HOST));
        EXPECT_FALSE(IsEnabled(hwnd, IDC_PROXY_PORT));
        EXPECT_TRUE(IsEnabled(hwnd, IDOK));

        ClickButton(hwnd, IDC_PROXY_USE);
        EXPECT_TRUE(IsEnabled(hwnd, IDC_PROXY_HOST));
        EXPECT_FALSE(IsEnabled(hwnd, IDOK));
        ClickButton(hwnd, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(FileContent(), before);
}

TEST_F(ProxySettingDlgTest, CancelChangesNothing) {
    Store(L"proxy.example:8080", L"alice", L"secret", 1);
    const std::string before = FileContent();
    scup::CProxySettingDlg dialog(kEnglish, config_);
    INT_PTR result = RunWithDriver(dialog, [](HWND hwnd) {
        Type(hwnd, IDC_PROXY_HOST, L"other.example");
        Type(hwnd, IDC_PROXY_PORT, L"9090");
        ClickButton(hwnd, IDC_PROXY_USE);
        ClickButton(hwnd, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(FileContent(), before);
    SAUProxyInfo stored;
    EXPECT_EQ(config_.GetProxyInfo(stored), 0);
    EXPECT_EQ(stored.strProxyServer, L"proxy.example:8080");
    EXPECT_EQ(stored.strProxyPwd, L"secret");
    EXPECT_EQ(stored.bUseProxy, 1);
}

TEST_F(ProxySettingDlgTest, WithNothingStoredTheSwitchAloneDecidesAndAnEmptyPortIsStoredAsZero) {
    scup::CProxySettingDlg dialog(kEnglish, config_);
    INT_PTR result = RunWithDriver(dialog, [](HWND hwnd) {
        EXPECT_EQ(TextOf(hwnd, IDC_PROXY_HOST), L"");
        EXPECT_EQ(TextOf(hwnd, IDC_PROXY_PORT), L"");
        EXPECT_FALSE(Checked(hwnd, IDC_PROXY_USE));
        EXPECT_FALSE(IsEnabled(hwnd, IDC_PROXY_HOST));
        EXPECT_FALSE(IsEnabled(hwnd, IDC_PROXY_PORT));
        EXPECT_TRUE(IsEnabled(hwnd, IDOK));

        ClickButton(hwnd, IDC_PROXY_USE);
        EXPECT_TRUE(IsEnabled(hwnd, IDC_PROXY_HOST));
        EXPECT_TRUE(IsEnabled(hwnd, IDC_PROXY_PORT));
        EXPECT_FALSE(IsEnabled(hwnd, IDOK));
        ClickButton(hwnd, IDC_PROXY_USE);
        EXPECT_FALSE(IsEnabled(hwnd, IDC_PROXY_HOST));
        EXPECT_TRUE(IsEnabled(hwnd, IDOK));
        ClickButton(hwnd, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    const SAUProxyInfo stored = StoredOnDisk();
    EXPECT_EQ(stored.strProxyServer, L":0");
    EXPECT_EQ(stored.bUseProxy, 0);
}

TEST_F(ProxySettingDlgTest, ChangingOnlyThePortForgetsThePasswordButKeepsTheUser) {
    Store(L"proxy.example:8080", L"alice", L"secret", 1);
    scup::CProxySettingDlg dialog(kEnglish, config_);
    INT_PTR result = RunWithDriver(dialog, [](HWND hwnd) {
        Type(hwnd, IDC_PROXY_PORT, L"8081");
        ClickButton(hwnd, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    const SAUProxyInfo stored = StoredOnDisk();
    EXPECT_EQ(stored.strProxyServer, L"proxy.example:8081");
    EXPECT_EQ(stored.strProxyUser, L"alice");
    EXPECT_EQ(stored.strProxyPwd, L"");
    EXPECT_EQ(stored.bUseProxy, 1);
}

TEST_F(ProxySettingDlgTest, ChangingOnlyTheSwitchKeepsThePassword) {
    Store(L"proxy.example:8080", L"alice", L"secret", 1);
    scup::CProxySettingDlg dialog(kEnglish, config_);
    INT_PTR result = RunWithDriver(dialog, [](HWND hwnd) {
        ClickButton(hwnd, IDC_PROXY_USE);
        ClickButton(hwnd, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    const SAUProxyInfo stored = StoredOnDisk();
    EXPECT_EQ(stored.strProxyServer, L"proxy.example:8080");
    EXPECT_EQ(stored.strProxyUser, L"alice");
    EXPECT_EQ(stored.strProxyPwd, L"secret");
    EXPECT_EQ(stored.bUseProxy, 0);
}

// Runs an action once on the thread of the timer's creator, from inside its message loop.
std::function<void()>& PendingUiAction() {
    static std::function<void()> action;
    return action;
}
void CALLBACK RunPendingUiAction(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (auto action = std::exchange(PendingUiAction(), {})) action();
}

TEST_F(ProxySettingDlgTest, CredentialsStoredWhileTheDialogIsOpenAreKept) {
    Store(L"proxy.example:8080", L"", L"", 1);
    scup::CProxySettingDlg dialog(kEnglish, config_);
    // The server exchange stores what the user typed into the credentials dialog meanwhile.
    std::atomic<bool> credentialsStored{false};
    PendingUiAction() = [&] {
        Store(L"proxy.example:8080", L"carol", L"typed-later", 1);
        credentialsStored = true;
    };
    SetTimer(nullptr, 0, 50, RunPendingUiAction);
    INT_PTR result = RunWithDriver(dialog, [&](HWND hwnd) {
        EXPECT_TRUE(WaitFor([&] { return credentialsStored.load(); }));
        ClickButton(hwnd, IDC_PROXY_USE);
        ClickButton(hwnd, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    const SAUProxyInfo stored = StoredOnDisk();
    EXPECT_EQ(stored.strProxyUser, L"carol");
    EXPECT_EQ(stored.strProxyPwd, L"typed-later");
    EXPECT_EQ(stored.bUseProxy, 0);
}

TEST_F(ProxySettingDlgTest, ServerWithoutPortShowsAnEmptyPortAndIsStoredWithPortZero) {
    Store(L"proxyhost", L"bob", L"pw", 1);
    {
        scup::CProxySettingDlg dialog(kEnglish, config_);
        RunWithDriver(dialog, [](HWND hwnd) {
            EXPECT_EQ(TextOf(hwnd, IDC_PROXY_HOST), L"proxyhost");
            EXPECT_EQ(TextOf(hwnd, IDC_PROXY_PORT), L"");
            EXPECT_FALSE(IsEnabled(hwnd, IDOK));
            ClickButton(hwnd, IDCANCEL);
        });
    }
    Store(L"proxyhost", L"bob", L"pw", 0);
    scup::CProxySettingDlg dialog(kEnglish, config_);
    INT_PTR result = RunWithDriver(dialog, [](HWND hwnd) {
        EXPECT_TRUE(IsEnabled(hwnd, IDOK));
        ClickButton(hwnd, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    const SAUProxyInfo stored = StoredOnDisk();
    EXPECT_EQ(stored.strProxyServer, L"proxyhost:0");
    EXPECT_EQ(stored.strProxyUser, L"bob");
    EXPECT_EQ(stored.strProxyPwd, L"");
}

TEST_F(ProxySettingDlgTest, ReopeningShowsTheSavedHostAndPortAgain) {
    {
        scup::CProxySettingDlg dialog(kEnglish, config_);
        INT_PTR result = RunWithDriver(dialog, [](HWND hwnd) {
            ClickButton(hwnd, IDC_PROXY_USE);
            Type(hwnd, IDC_PROXY_HOST, L"proxy.corp.example");
            Type(hwnd, IDC_PROXY_PORT, L"3128");
            ClickButton(hwnd, IDOK);
        });
        ASSERT_EQ(result, IDOK);
        EXPECT_EQ(dialog.Host(), L"proxy.corp.example");
        EXPECT_EQ(dialog.Port(), 3128u);
        EXPECT_EQ(dialog.UseProxy(), 1);
    }
    EXPECT_EQ(StoredOnDisk().strProxyServer, L"proxy.corp.example:3128");

    CAUConfigXML restarted;
    restarted.Initialize();
    scup::CProxySettingDlg dialog(kEnglish, restarted);
    RunWithDriver(dialog, [](HWND hwnd) {
        EXPECT_EQ(TextOf(hwnd, IDC_PROXY_HOST), L"proxy.corp.example");
        EXPECT_EQ(TextOf(hwnd, IDC_PROXY_PORT), L"3128");
        EXPECT_TRUE(Checked(hwnd, IDC_PROXY_USE));
        EXPECT_TRUE(IsEnabled(hwnd, IDOK));
        ClickButton(hwnd, IDCANCEL);
    });
}

TEST_F(ProxySettingDlgTest, PortTextIsReadAsADecimalNumberAndOutOfRangePortsAreRefused) {
    Store(L"proxy.example:8080", L"alice", L"secret", 1);
    const std::string before = FileContent();
    MessageBoxCapture boxes;
    scup::CProxySettingDlg dialog(kEnglish, config_);
    INT_PTR result = RunWithDriver(dialog, [&](HWND hwnd) {
        // Pasted text gets past the digits-only edit.
        Type(hwnd, IDC_PROXY_PORT, L"70000");
        ClickButton(hwnd, IDOK);
        EXPECT_TRUE(IsWindow(hwnd));
        EXPECT_EQ(FileContent(), before);
        Type(hwnd, IDC_PROXY_PORT, L"-1");
        ClickButton(hwnd, IDOK);
        EXPECT_TRUE(IsWindow(hwnd));
        EXPECT_EQ(FileContent(), before);

        Type(hwnd, IDC_PROXY_PORT, L"80x");
        ClickButton(hwnd, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    const auto messages = boxes.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, scup::LoadLangString(IDS_MSG_PROXY_PORT_RANGE, kEnglish));
    EXPECT_FALSE(messages[0].text.empty());
    EXPECT_EQ(StoredOnDisk().strProxyServer, L"proxy.example:80");

    Store(L"proxy.example:8080", L"alice", L"secret", 1);
    scup::CProxySettingDlg again(kEnglish, config_);
    RunWithDriver(again, [](HWND hwnd) {
        Type(hwnd, IDC_PROXY_PORT, L"abc");
        ClickButton(hwnd, IDOK);
    });
    EXPECT_EQ(StoredOnDisk().strProxyServer, L"proxy.example:0");
    EXPECT_EQ(boxes.Messages().size(), 2u);
}

TEST_F(ProxySettingDlgTest, AFailedSaveSaysSoAndKeepsTheDialogOpen) {
    // The data folder would have to lie below a file: it can never be made.
    WriteTextFile(dir_ + L"\\blocker", "not a folder");
    dataFolder_ = dir_ + L"\\blocker\\data\\";
    MessageBoxCapture boxes;
    scup::CProxySettingDlg dialog(kArabic, config_);
    bool stayedOpen = false;
    INT_PTR result = RunWithDriver(dialog, [&](HWND hwnd) {
        ClickButton(hwnd, IDOK);
        // The empty port was turned into the 0 that was to be stored.
        EXPECT_EQ(TextOf(hwnd, IDC_PROXY_PORT), L"0");
        ClickButton(hwnd, IDC_PROXY_USE);
        Type(hwnd, IDC_PROXY_HOST, L"proxy.example");
        Type(hwnd, IDC_PROXY_PORT, L"8080");
        ClickButton(hwnd, IDOK);
        stayedOpen = IsWindow(hwnd) && IsWindowVisible(hwnd);
        EXPECT_EQ(TextOf(hwnd, IDC_PROXY_HOST), L"proxy.example");
        ClickButton(hwnd, IDCANCEL);
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(FileExists(dataFolder_ + CAUConfigXML::kFileName));
    const auto messages = boxes.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, scup::LoadLangString(IDS_MSG_PROXY_NOT_SAVED, kArabic));
    EXPECT_FALSE(messages[0].text.empty());
    EXPECT_EQ(messages[0].style & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(messages[0].style & scup::kRtlMessageBoxFlags, scup::kRtlMessageBoxFlags);
    EXPECT_EQ(messages[0].style & scup::kUpdateFlowMessageBoxFlags, scup::kUpdateFlowMessageBoxFlags);
}

// A password the system could not encipher is never saved as an empty one: nothing is saved, the
// user is told why, the dialog stays open and the file keeps the password it had.
TEST_F(ProxySettingDlgTest, APasswordThatCannotBeEncipheredSavesNothingAndSaysSo) {
    Store(L"proxy.example:8080", L"alice", L"secret", 1);
    const std::string before = FileContent();
    config_.SetPasswordCipher([](const std::wstring&) { return std::wstring(); });
    MessageBoxCapture boxes;
    scup::CProxySettingDlg dialog(kEnglish, config_);
    bool stayedOpen = false;
    const INT_PTR result = RunWithDriver(dialog, [&](HWND hwnd) {
        ClickButton(hwnd, IDOK);
        stayedOpen = IsWindow(hwnd) && IsWindowVisible(hwnd);
        ClickButton(hwnd, IDCANCEL);
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(FileContent(), before);
    EXPECT_EQ(StoredOnDisk().strProxyPwd, L"secret");
    const auto messages = boxes.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, scup::LoadLangString(IDS_MSG_PASSWORD_NOT_SAVED, kEnglish));

    SAUProxyInfo record = StoredOnDisk();
    record.strProxyPwd = L"new secret";
    EXPECT_EQ(config_.SetProxyInfo(record), CAUConfigXML::kPasswordNotEnciphered);
    record.strProxyPwd.clear();
    EXPECT_EQ(config_.SetProxyInfo(record), 0) << "no password needs no cipher";
}

// Caption, check box text and the mirrored layout of the language's own template.
void ExpectLanguageCopy(scup::CLangDialog& dialog, LANGID language, const std::wstring& caption,
                        int controlId, const std::wstring& controlText) {
    RunWithDriver(dialog, [&](HWND hwnd) {
        EXPECT_EQ(TextOf(hwnd), caption);
        EXPECT_EQ(TextOf(hwnd, controlId), controlText);
        EXPECT_EQ(TextOf(hwnd, IDCANCEL), scup::IsRightToLeftLanguage(language) ? L"إلغاء" : L"キャンセル");
        const bool mirrored = (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
        EXPECT_EQ(mirrored, scup::IsRightToLeftLanguage(language));
        // A host name stays left to right even in a mirrored window.
        if (HWND host = GetDlgItem(hwnd, IDC_PROXY_HOST)) {
            EXPECT_EQ(GetWindowLongW(host, GWL_EXSTYLE) & (WS_EX_LAYOUTRTL | WS_EX_RTLREADING), 0);
        }
        ClickButton(hwnd, IDCANCEL);
    });
}

TEST_F(ProxySettingDlgTest, BothDialogsLoadInJapaneseAndArabic) {
    Store(L"proxy.example:8080", L"alice", L"secret", 1);
    {
        scup::CProxySettingDlg dialog(kJapanese, config_);
        EXPECT_EQ(dialog.TemplateId(), 1720u);
        ExpectLanguageCopy(dialog, kJapanese, L"プロキシの設定", IDC_PROXY_USE,
                           L"プロキシ サーバーを使ってアップデート サーバーに接続する");
    }
    {
        scup::CProxySettingDlg dialog(kArabic, config_);
        EXPECT_EQ(dialog.TemplateId(), 15220u);
        ExpectLanguageCopy(dialog, kArabic, L"إعدادات الخادم الوكيل", IDC_PROXY_USE,
                           L"استخدام خادم وكيل للوصول إلى خادم التحديث");
    }
    {
        scup::CProxyUserDlg dialog(kJapanese);
        EXPECT_EQ(dialog.TemplateId(), 1820u);
        ExpectLanguageCopy(dialog, kJapanese, L"プロキシの認証", IDC_PROXY_USER_SAVE,
                           L"ユーザー名とパスワードを保存する");
    }
    {
        scup::CProxyUserDlg dialog(kArabic);
        EXPECT_EQ(dialog.TemplateId(), 15320u);
        ExpectLanguageCopy(dialog, kArabic, L"مصادقة الخادم الوكيل", IDC_PROXY_USER_SAVE,
                           L"تذكر اسم المستخدم وكلمة المرور");
    }
}

TEST(ProxyUserDlg, ShowsThePresetCredentialsOnTopAndGivesBackWhatWasTyped) {
    scup::CProxyUserDlg dialog(kEnglish);
    dialog.Preset(L"alice", L"secret");
    INT_PTR result = RunWithDriver(dialog, [](HWND hwnd) {
        EXPECT_EQ(TextOf(hwnd, IDC_PROXY_USER_NAME), L"alice");
        EXPECT_EQ(TextOf(hwnd, IDC_PROXY_USER_PASSWORD), L"secret");
        EXPECT_FALSE(Checked(hwnd, IDC_PROXY_USER_SAVE));
        HWND password = GetDlgItem(hwnd, IDC_PROXY_USER_PASSWORD);
        EXPECT_TRUE(GetWindowLongW(password, GWL_STYLE) & ES_PASSWORD);
        EXPECT_NE(SendMessageW(password, EM_GETPASSWORDCHAR, 0, 0), 0);
        EXPECT_TRUE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);

        Type(hwnd, IDC_PROXY_USER_NAME, L"DOMAIN\\bob");
        Type(hwnd, IDC_PROXY_USER_PASSWORD, L"p@ss:w\x00f6rd");
        ClickButton(hwnd, IDC_PROXY_USER_SAVE);
        ClickButton(hwnd, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialog.User(), L"DOMAIN\\bob");
    EXPECT_EQ(dialog.Password(), L"p@ss:w\x00f6rd");
    EXPECT_EQ(dialog.SaveCredentials(), 1);
}

TEST(ProxyUserDlg, CancelKeepsThePresetValues) {
    scup::CProxyUserDlg dialog(kEnglish);
    dialog.Preset(L"alice", L"secret", 0);
    INT_PTR result = RunWithDriver(dialog, [](HWND hwnd) {
        Type(hwnd, IDC_PROXY_USER_NAME, L"mallory");
        Type(hwnd, IDC_PROXY_USER_PASSWORD, L"guess");
        ClickButton(hwnd, IDC_PROXY_USER_SAVE);
        ClickButton(hwnd, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dialog.User(), L"alice");
    EXPECT_EQ(dialog.Password(), L"secret");
    EXPECT_EQ(dialog.SaveCredentials(), 0);
}

}  // namespace
