// The installers' command lines as they follow from what the PC has: the products' settings
// keys, the Office add-ins, the shortcuts, the system version and the running programs.

#include <gtest/gtest.h>
#include <shlobj.h>

#include "InstallFixture.h"
#include "common/LangResources.h"
#include "local/InstalledTemplates.h"
#include "res/install_ids.h"

namespace testing_support {
namespace {

constexpr wchar_t kEditor50Key[] = L"SOFTWARE\\Corvane Industries, Ltd.\\Scribo Editor\\5.0\\Settings";
constexpr wchar_t kEditor51Key[] = L"SOFTWARE\\Corvane Industries, Ltd.\\Scribo Editor\\5.1\\Settings";

SAUItemRecord Item(const std::wstring& code, const std::wstring& title = L"Row title") {
    SAUItemRecord item;
    item.info = Entry(1, code, L"ENU_ALL");
    item.strTitle = title;
    return item;
}

std::wstring SpecialFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// A file that exists while the object lives.
class ScopedFile {
  public:
    explicit ScopedFile(std::wstring path) : path_(std::move(path)) {
        SHCreateDirectoryExW(nullptr, path_.substr(0, path_.rfind(L'\\')).c_str(), nullptr);
        WriteTextFile(path_, "shortcut");
    }
    ~ScopedFile() { DeleteFileW(path_.c_str()); }

  private:
    std::wstring path_;
};

class InstallCommandTest : public InstallFixture {
  protected:
    std::wstring Parameters(const std::wstring& code, std::wstring path = L"C:\\dl\\setup.exe") {
        bool elevate = true;
        std::wstring parameters;
        EXPECT_EQ(MakeUpdater()->GetInstallCommand(Item(code), path, parameters, elevate), 0);
        EXPECT_FALSE(elevate);
        EXPECT_EQ(path, L"C:\\dl\\setup.exe");
        return parameters;
    }
};

TEST_F(InstallCommandTest, TheEditorAsksForTheLicenceOnlyWhenItIsNotInstalledYet) {
    EXPECT_EQ(Parameters(L"PP-SCEDIT51"), L"/s /a /silent /eula /usage /qn");

    const std::wstring folder = scratch_ + L"\\Apps\\Corvane\\Scedit51\\";
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(SCUP_APPRES_DIR L"/appres_0409.dll", (folder + L"scres51.dll").c_str(), FALSE));
    SetMachineText(kEditor51Key, L"ApplicationPath", folder);
    SetMachineText(kEditor51Key, L"PackageVersion", L"5.1.0.0");

    EXPECT_EQ(Parameters(L"PP-SCEDIT51"),
              L"/s /a /silent /cmpy' ' /ipath'" + scratch_ + L"\\Apps\\Corvane' /shct' ' /usage /qn");
}

TEST_F(InstallCommandTest, WithoutASettingsKeyTheEditorGetsTheBareSwitchesAndItsAddIns) {
    EXPECT_EQ(Parameters(L"PP-SCEDIT50"), L"/s /a /silent /qn");

    CreateMachineKey(L"Software\\Microsoft\\Office\\Word\\Addins\\ScriboAddin50.ComAddinWord");
    CreateMachineKey(L"Software\\Microsoft\\Office\\Outlook\\Addins\\ScriboAddin50.ComAddin");
    EXPECT_EQ(Parameters(L"PP-SCEDIT50"), L"/s /a /silent /addin'wo' /qn");
    EXPECT_EQ(Parameters(L"PP-SCEDIT52"), L"/s /a /silent /eula /usage /addin'wo' /qn");
    // The address book and the other tools have no add-ins.
    EXPECT_EQ(Parameters(L"PP-CONTACT12"), L"/s /a /silent /qn");
    EXPECT_EQ(Parameters(L"PP-WIREMARK"), L"/s /a /silent /usage /qn");
    EXPECT_EQ(Parameters(L"PP-DEVSETUP"), L"/s /a /silent /qn");
}

TEST_F(InstallCommandTest, TheSettingsGiveUserCompanyTheFolderAboveTheApplicationAndTheShortcuts) {
    SetMachineText(kEditor50Key, L"ApplicationPath", L"C:\\Apps\\Corvane\\Scedit50\\");
    EXPECT_EQ(CAUFileUpdater::BuildSilentSwitches(kEditor50Key, L"Scedit50", L"Scribo Editor 5.0.lnk"),
              L"/s /a /silent /cmpy' ' /ipath'C:\\Apps\\Corvane' /shct' '");

    SetMachineText(kEditor50Key, L"UserName", L"Ann Lee");
    SetMachineText(kEditor50Key, L"CompanyName", L"Acme Labels");
    {
        ScopedFile desktop(SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Scribo Editor 5.0.lnk");
        EXPECT_EQ(CAUFileUpdater::BuildSilentSwitches(kEditor50Key, L"Scedit50", L"Scribo Editor 5.0.lnk"),
                  L"/s /a /silent /user'Ann Lee' /cmpy'Acme Labels' /ipath'C:\\Apps\\Corvane' /shct'd'");
        ScopedFile quickLaunch(SpecialFolder(CSIDL_APPDATA) +
                               L"\\Microsoft\\Internet Explorer\\Quick Launch\\Scribo Editor 5.0.lnk");
        EXPECT_EQ(CAUFileUpdater::BuildSilentSwitches(kEditor50Key, L"Scedit50", L"Scribo Editor 5.0.lnk"),
                  L"/s /a /silent /user'Ann Lee' /cmpy'Acme Labels' /ipath'C:\\Apps\\Corvane' /shct'dq'");
    }

    // The folder's name at the very start, or elsewhere, leaves the path as it is.
    SetMachineText(kEditor50Key, L"ApplicationPath", L"\\Scedit50\\bin\\");
    EXPECT_EQ(CAUFileUpdater::BuildSilentSwitches(kEditor50Key, L"Scedit50", L"Scribo Editor 5.0.lnk"),
              L"/s /a /silent /user'Ann Lee' /cmpy'Acme Labels' /ipath'\\Scedit50\\bin\\' /shct' '");
}

// The installers' values have no escape for "'": a value holding one goes as a blank rather than
// ending early and breaking the rest of the command line.
TEST_F(InstallCommandTest, AValueHoldingAQuoteGoesAsABlankAndTheCommandLineStaysWhole) {
    SetMachineText(kEditor50Key, L"ApplicationPath", L"C:\\Apps\\O'Neill\\Scedit50\\");
    SetMachineText(kEditor50Key, L"UserName", L"Ann O'Neill");
    SetMachineText(kEditor50Key, L"CompanyName", L"O'Neill' /ipath'C:\\Evil");
    EXPECT_EQ(CAUFileUpdater::BuildSilentSwitches(kEditor50Key, L"Scedit50", L"Scribo Editor 5.0.lnk"),
              L"/s /a /silent /cmpy' ' /ipath' ' /shct' '");
    SetMachineText(kEditor50Key, L"CompanyName", L"Acme\nLabels");
    SetMachineText(kEditor50Key, L"UserName", L"Ann Lee");
    SetMachineText(kEditor50Key, L"ApplicationPath", L"C:\\Apps\\Corvane\\Scedit50\\");
    EXPECT_EQ(CAUFileUpdater::BuildSilentSwitches(kEditor50Key, L"Scedit50", L"Scribo Editor 5.0.lnk"),
              L"/s /a /silent /user'Ann Lee' /cmpy' ' /ipath'C:\\Apps\\Corvane' /shct' '");
}

// What an installer left is compared with what was there before as dotted numbers: a short version
// ("2.1") is a version, and a template package's "10.0.0" is newer than its "9.0.0".
TEST_F(InstallCommandTest, AnInstallIsVerifiedByItsVersionComparedAsNumbers) {
    auto updater = MakeUpdater();
    SAUItemRecord tool = Item(L"PP-DEVSETUP");
    tool.info.strInstalledVersion = L"2.0";
    SetMachineText(L"SOFTWARE\\Corvane Industries, Ltd.\\Fieldlabel Printer\\Device Setup Tool\\Settings",
                   L"PackageVersion", L"2.1");
    EXPECT_TRUE(updater->VerifyInstalled(tool));
    tool.info.strInstalledVersion = L"2.1";
    EXPECT_FALSE(updater->VerifyInstalled(tool)) << "the same version is no install";

    SAUItemRecord templates = Item(L"PC-TMPLBIZ");
    templates.info.strInstalledVersion = L"9.0.0";
    const std::wstring key = std::wstring(kTemplatesKeyPath) + L"\\Business";
    SetMachineText(key, L"ID", L"PC-TMPLBIZ");
    SetMachineText(key, L"Language", L"ENU");
    SetMachineText(key, L"PackageVersion", L"10.0.0");
    EXPECT_TRUE(updater->VerifyInstalled(templates));
    SetMachineText(key, L"PackageVersion", L"8.10.0");
    EXPECT_FALSE(updater->VerifyInstalled(templates));
}

TEST_F(InstallCommandTest, AnUnlistedPackageIsInstalledByTheInstallerServiceWithElevation) {
    std::wstring path = L"C:\\dl\\Business Templates.msi";
    std::wstring parameters;
    bool elevate = false;
    EXPECT_EQ(MakeUpdater()->GetInstallCommand(Item(L"PC-TMPLBIZ"), path, parameters, elevate), 0);
    EXPECT_EQ(path, L"msiexec.exe");
    EXPECT_EQ(parameters, L"/qn /i \"C:\\dl\\Business Templates.msi\"");
    EXPECT_TRUE(elevate);
    EXPECT_TRUE(messages_->Messages().empty());
}

TEST_F(InstallCommandTest, ARunningAddressBookRefusesItsUpdateWithTheApplicationsName) {
    const std::wstring program = scratch_ + L"\\Contactbk.exe";
    ASSERT_TRUE(CopyFileW(SCUP_INSTALLERS_DIR L"/scup_sleeper.exe", program.c_str(), FALSE));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + program + L"\"";
    ASSERT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    ASSERT_TRUE(PumpUntil([] { return CAUFileUpdater::IsProgramRunning(L"CONTACTBK.EXE"); }, 10000));
    EXPECT_FALSE(CAUFileUpdater::IsProgramRunning(L"scedit52.exe"));

    owner_.nLanguage = 1025;
    std::wstring path = L"C:\\dl\\setup.exe";
    std::wstring parameters;
    bool elevate = false;
    const int refused = MakeUpdater()->GetInstallCommand(Item(L"PP-CONTACT12"), path, parameters, elevate);
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    EXPECT_EQ(refused, 1);
    EXPECT_EQ(parameters, L"/s /a /silent /qn");
    ASSERT_EQ(messages_->Messages().size(), 1u);
    const CapturedMessage message = messages_->Messages()[0];
    std::wstring expected = scup::LoadLangString(IDS_MSG_APP_RUNNING, 1025);
    ASSERT_NE(expected.find(L"%s"), std::wstring::npos);
    for (size_t at; (at = expected.find(L"%s")) != std::wstring::npos;)
        expected.replace(at, 2, L"Scribo AddressBook");
    EXPECT_EQ(message.text, expected);
    EXPECT_EQ(message.style & (MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND | MB_RTLREADING | MB_RIGHT),
              static_cast<UINT>(MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND | MB_RTLREADING | MB_RIGHT));
    EXPECT_TRUE(PumpUntil([] { return !CAUFileUpdater::IsProgramRunning(L"Contactbk.exe"); }, 10000));
}

}  // namespace
}  // namespace testing_support
