// The main updater dialog as the user and the update thread see it: the dialog runs modally on the
// test thread while a driver thread plays the update thread (ready flag, progress panel, lists
// handed over) and the user (clicks, keys, menu commands). Description packages and disk packages
// are real zip archives unpacked by the program's unzip32.dll.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DialogDriver.h"
#include "TestSupport.h"
#include "ZipWriter.h"
#include "app/ScUpdaterApp.h"
#include "common/Format.h"
#include "common/Handles.h"
#include "common/LangResources.h"
#include "local/AUConfigXML.h"
#include "res/firmware_ids.h"
#include "res/resource_ids.h"
#include "res/updater_ids.h"
#include "ui/DescriptionPackage.h"
#include "ui/DetailsPageAddress.h"
#include "ui/MessageDialog.h"
#include "ui/UpdateRowOrder.h"
#include "ui/UpdaterDialog.h"

namespace {

using namespace testing_support;

constexpr LANGID kEnglish = 1033;
constexpr LANGID kArabic = 1025;
constexpr LCID kUnitedStates = 1033;
constexpr LCID kGermany = 1031;
constexpr wchar_t kPrinter[] = L"Corvane SC-200";
constexpr wchar_t kEmbedding = L'\x202A';
// When the server was asked for the lists the tests hand over.
constexpr SYSTEMTIME kAskedAt{2026, 12, 4, 10, 9, 41, 0, 0};

std::string Description(const std::string& title, const std::string& extra = {}) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><ScriboUpdater><Title>" + title +
           "</Title><Version>2.1</Version><Size>3 MB</Size>" + extra + "<Description>About " + title +
           "</Description></ScriboUpdater>";
}

// A 4 x 2 pixel 24-bit bitmap file, as a thumbnail of a package.
std::string SmallBitmapFile() {
    const int width = 4, height = 2, stride = 12;
    std::string bytes(54 + stride * height, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, static_cast<uint32_t>(bytes.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    bytes[26] = 1;
    bytes[28] = 24;
    for (size_t i = 54; i < bytes.size(); ++i) bytes[i] = static_cast<char>(0x40);
    return bytes;
}

SAUExtFirmInfo Entry(const std::wstring& id, const std::wstring& category, const std::wstring& package,
                     int newInstall = 0) {
    SAUExtFirmInfo info;
    info.strId = id;
    info.strName = id;
    info.strSpec = L"ENU_USA";
    info.strCategory = category;
    info.strFilePath = package;
    info.nNewInstall = newInstall;
    return info;
}

HWND ListOf(HWND dialog) { return GetDlgItem(dialog, IDC_UPD_LIST); }
int RowCount(HWND dialog) { return static_cast<int>(SendMessageW(ListOf(dialog), LVM_GETITEMCOUNT, 0, 0)); }

std::wstring Cell(HWND dialog, int row, int column) {
    wchar_t text[512] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 512;
    SendMessageW(ListOf(dialog), LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

bool Ticked(HWND dialog, int row) {
    const UINT state = static_cast<UINT>(
        SendMessageW(ListOf(dialog), LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
    return (state >> 12) == 2;
}

void SetTicked(HWND dialog, int row, bool ticked) {
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(ticked ? 2 : 1);
    SendMessageW(ListOf(dialog), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

bool MenuEnabled(HWND dialog, UINT command) {
    const UINT state = GetMenuState(GetMenu(dialog), command, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

bool MenuHas(HWND dialog, UINT command) {
    return GetMenuState(GetMenu(dialog), command, MF_BYCOMMAND) != static_cast<UINT>(-1);
}

bool IsSignalled(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

class UpdaterDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        scratch_ = MakeScratchFolder(L"updater-dialog");
        // The update thread's events with its reset modes: refresh manual, the others automatic.
        refresh_.reset(CreateEventW(nullptr, TRUE, FALSE, L"REFRESH_EVENT"));
        check_.reset(CreateEventW(nullptr, FALSE, FALSE, L"CHECK_EVENT"));
        start_.reset(CreateEventW(nullptr, FALSE, FALSE, L"START_EVENT"));
        reset_.reset(CreateEventW(nullptr, FALSE, FALSE, L"RESETSERVER_EVENT"));
        for (HANDLE event : {refresh_.get(), check_.get(), start_.get(), reset_.get()}) ResetEvent(event);
    }
    void TearDown() override { ResetEvent(refresh_.get()); }

    std::wstring Package(const std::wstring& name, ZipWriter zip) {
        const std::wstring path = scratch_ + L"\\" + name;
        zip.WriteTo(path);
        return path;
    }

    std::unique_ptr<CUpdaterDialog> MakeDialog(LANGID language = kEnglish, LCID locale = kUnitedStates) {
        auto dialog = std::make_unique<CUpdaterDialog>(language, kPrinter, locale);
        dialog->SetPrinters({kPrinter, L"Corvane SC-300"});
        dialog->SetUnzip(&unzip_);
        dialog->SetFirmwareTransfer(
            [this](const std::wstring& driver, const std::vector<std::wstring>& files) {
                std::lock_guard lock(mutex_);
                transfers_.push_back({driver, files});
                return transferResult_;
            });
        dialog->SetLinkOpener([this](HWND, const std::wstring& address) {
            std::lock_guard lock(mutex_);
            opened_.push_back(address);
        });
        return dialog;
    }

    // Runs the dialog modally here while the driver acts on it; a dialog the driver leaves open is
    // closed (made idle first), so that a failing test cannot hang. The driver stands in for the
    // update thread, which reads the description packages (XML through COM) in an apartment of its own.
    void Run(CUpdaterDialog& dialog, UpdateView view, const std::function<void(HWND)>& drive) {
        const DWORD uiThread = GetCurrentThreadId();
        std::thread driver([&] {
            scup::ComInit com;
            HWND hwnd = WaitForThreadDialog(uiThread, IDC_UPD_LIST);
            if (!hwnd) {
                ADD_FAILURE() << "the dialog never appeared";
                return;
            }
            drive(hwnd);
            if (IsWindow(hwnd)) {
                dialog.SetReady(1);
                PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
            }
        });
        dialog.Run(view);
        driver.join();
    }

    struct STransfer {
        std::wstring driver;
        std::vector<std::wstring> files;
    };
    std::vector<STransfer> Transfers() {
        std::lock_guard lock(mutex_);
        return transfers_;
    }
    std::vector<std::wstring> Opened() {
        std::lock_guard lock(mutex_);
        return opened_;
    }

    std::wstring scratch_;
    CUnzipHolder unzip_{BinFolder()};
    scup::UniqueHandle refresh_, check_, start_, reset_;
    MessageBoxCapture messages_;
    std::mutex mutex_;
    std::vector<STransfer> transfers_;
    std::vector<std::wstring> opened_;
    int transferResult_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Row order, details address and description files

TEST(UpdateRowOrderTest, KindOfPackageFirstThenTitleWithoutItsParenthesisedPart) {
    EXPECT_LT(scup::CompareUpdateRows(L"FP-MAIN", L"Zeta", L"PP-EDIT", L"Alpha"), 0);
    EXPECT_GT(scup::CompareUpdateRows(L"PS-FONTS", L"Alpha", L"PP-EDIT", L"Zeta"), 0);
    EXPECT_LT(scup::CompareUpdateRows(L"PP-B", L"(Japan) Address book", L"PP-A", L"Label editor"), 0);
    EXPECT_GT(scup::CompareUpdateRows(L"PP-B", L"(Asia) Label editor", L"PP-A", L"Address book"), 0);
    // Equal titles: the parenthesised part decides.
    EXPECT_LT(scup::CompareUpdateRows(L"FP-A", L"(Asia) Firmware", L"FP-B", L"(Europe) Firmware"), 0);
    EXPECT_EQ(scup::SplitTitlePrefix(L"(Japan)  Firmware 2").prefix, L"(Japan)");
    EXPECT_EQ(scup::SplitTitlePrefix(L"(Japan)  Firmware 2").rest, L"Firmware 2");
    EXPECT_EQ(scup::SplitTitlePrefix(L"Firmware (new)").rest, L"Firmware (new)");
    EXPECT_EQ(scup::SplitTitlePrefix(L"(unclosed title").rest, L"(unclosed title");
}

TEST(DetailsPageAddressTest, SystemTextSaysX64ForAVersionFivePointTwoWorkstationOnly) {
    EXPECT_EQ(scup::SystemVersionText(5, 2, VER_PLATFORM_WIN32_NT, true), L"W5_2_x64");
    EXPECT_EQ(scup::SystemVersionText(5, 2, VER_PLATFORM_WIN32_NT, false), L"W5_2");
    EXPECT_EQ(scup::SystemVersionText(6, 1, VER_PLATFORM_WIN32_NT, true), L"W6_1");
    EXPECT_EQ(scup::SystemVersionText(6, 2, VER_PLATFORM_WIN32_NT, false), L"W6_2");
    EXPECT_EQ(scup::SystemVersionText(4, 0, VER_PLATFORM_WIN32_NT, true), L"W4_0_NT");
    EXPECT_EQ(scup::SystemVersionText(6, 3, VER_PLATFORM_WIN32_NT, true), L"W6_3");
    EXPECT_EQ(scup::SystemVersionText(10, 0, VER_PLATFORM_WIN32_NT, true), L"W10_0");
    // Wine reports a Windows 7 workstation.
    EXPECT_EQ(scup::CurrentSystemVersionText(), L"W6_1");
}

// Run by the test below in a process of its own, on the system version Wine was told to report.
TEST(DetailsPageAddressChild, TheSystemTextIsTheOneExpected) {
    wchar_t expected[32] = {};
    if (!GetEnvironmentVariableW(L"SCUP_EXPECTED_OS", expected, 32)) GTEST_SKIP() << "run by the test below";
    EXPECT_EQ(scup::CurrentSystemVersionText(), expected);
}

// Windows 8.1 and 10 are told as such, not as the 6.2 that the system tells a program whose
// manifest does not name them (this test program's has none).
TEST(DetailsPageAddressTest, TheSystemTextIsTheSystemsOwnVersionOn81And10Too) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring exe = wcsrchr(self, L'\\') + 1;
    const std::wstring key = L"Software\\Wine\\AppDefaults\\" + exe;
    for (const auto& [wineVersion, text] : std::vector<std::pair<std::wstring, std::wstring>>{
             {L"win7", L"W6_1"}, {L"win81", L"W6_3"}, {L"win10", L"W10_0"}}) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, wineVersion.c_str(),
                                  static_cast<DWORD>((wineVersion.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        SetEnvironmentVariableW(L"SCUP_EXPECTED_OS", text.c_str());
        std::wstring command = L"\"" + std::wstring(self) +
                               L"\" --gtest_filter=DetailsPageAddressChild.TheSystemTextIsTheOneExpected";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &process));
        scup::UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD exitCode = 1;
        GetExitCodeProcess(process.hProcess, &exitCode);
        EXPECT_EQ(exitCode, 0u) << "on " << std::string(wineVersion.begin(), wineVersion.end());
    }
    SetEnvironmentVariableW(L"SCUP_EXPECTED_OS", nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

TEST(DetailsPageAddressTest, AddressCarriesModelInHexAndTheUserLocale) {
    EXPECT_EQ(
        scup::DetailsPageAddress(L"http://host/solutions/download.aspx", 0x12A4F, L"USA", L"ENU", L"W6_1", 1),
        L"http://host/solutions/download.aspx?model=2A4F&country=USA&gengo=ENU&os=W6_1&c=1&m=0&y=0&k=0");
    EXPECT_EQ(scup::DetailsPageAddress(L"http://h/p", -1, L"", L"", L"W6_1", 0),
              L"http://h/p?model=0&country=&gengo=&os=W6_1&c=0&m=0&y=0&k=0");
    EXPECT_EQ(scup::DetailsPageEndpoint(),
              L"http://support.corvane-industries.example/solutions/download.aspx");
}

TEST(DescriptionPackageTest, ChoosesTheRegionLanguageThenPlainThenEnglishIgnoringCase) {
    const std::wstring deu = scup::LanguageAbbreviation(kGermany);
    ASSERT_EQ(deu, L"DEU");
    EXPECT_EQ(scup::ChooseDescriptionFile({L"data_ENG.xml", L"DATA.XML", L"Data_deu.xml"}, deu),
              L"Data_deu.xml");
    EXPECT_EQ(scup::ChooseDescriptionFile({L"data_ENG.xml", L"DATA.XML", L"data_FRA.xml"}, deu), L"DATA.XML");
    EXPECT_EQ(scup::ChooseDescriptionFile({L"data_eng.xml", L"data_FRA.xml"}, deu), L"data_eng.xml");
    EXPECT_EQ(scup::ChooseDescriptionFile({L"readme.txt"}, deu), L"");
}

TEST_F(UpdaterDialogTest, DescriptionPackageReadsTheChosenFileAndItsOwnThumbnailOnly) {
    const std::wstring package =
        Package(L"desc.zip", ZipWriter()
                                 .Deflated("data_ENG.xml", Description("English"))
                                 .Deflated("data.xml", Description("Plain"))
                                 .Deflated("data_DEU.xml", Description("Deutsch",
                                                                       "<Thumbnail>thumb.bmp</Thumbnail>"
                                                                       "<URL>http://x/de</URL>"))
                                 .Stored("thumb.bmp", SmallBitmapFile()));
    SAUItemRecord german;
    ASSERT_EQ(scup::ReadDescriptionPackage(&unzip_, package, kGermany, german), scup::DescriptionRead::Read);
    EXPECT_EQ(german.strTitle, L"Deutsch");
    EXPECT_EQ(german.strVersion, L"2.1");
    EXPECT_EQ(german.strSize, L"3 MB");
    EXPECT_EQ(german.strLink, L"http://x/de");
    EXPECT_EQ(german.strDescription, L"About Deutsch");
    EXPECT_EQ(german.thumbnail.size(), SmallBitmapFile().size());
    EXPECT_EQ(german.bRightToLeft, 0);

    SAUItemRecord french;  // no data_FRA.xml: the plain description
    ASSERT_EQ(scup::ReadDescriptionPackage(&unzip_, package, 1036, french), scup::DescriptionRead::Read);
    EXPECT_EQ(french.strTitle, L"Plain");
    EXPECT_TRUE(french.thumbnail.empty());

    const std::wstring english =
        Package(L"eng.zip",
                ZipWriter().Deflated("DATA_ENG.XML",
                                     Description("Only English", "<Thumbnail>..\\..\\win.ini</Thumbnail>")));
    SAUItemRecord arabic;
    ASSERT_EQ(scup::ReadDescriptionPackage(&unzip_, english, 1025, arabic), scup::DescriptionRead::Read);
    EXPECT_EQ(arabic.strTitle, L"Only English");
    EXPECT_EQ(arabic.bRightToLeft, 0);  // English text reads left to right in any region
    EXPECT_TRUE(arabic.thumbnail.empty()) << "a thumbnail outside the package must not be read";

    SAUItemRecord none;
    EXPECT_EQ(scup::ReadDescriptionPackage(&unzip_, Package(L"none.zip", ZipWriter().Stored("a.txt", "x")),
                                           kGermany, none),
              scup::DescriptionRead::Damaged);
    EXPECT_EQ(scup::ReadDescriptionPackage(&unzip_, scratch_ + L"\\missing.zip", kGermany, none),
              scup::DescriptionRead::Damaged);
}

// ---------------------------------------------------------------------------------------------
// The dialog

TEST_F(UpdaterDialogTest, CommandsFollowTheReadyFlagAndTheView) {
    auto dialog = MakeDialog();
    RefinedList list;
    list[kPrinter][L"PP-A_ENU_USA"] = Entry(L"PP-A", L"PCS", L"");
    Run(*dialog, UpdateView::Software, [&](HWND hwnd) {
        EXPECT_TRUE(WaitFor([&] { return IsSignalled(check_.get()); }))
            << "the dialog asks for a check on start";
        dialog->SetUpdates(list, kAskedAt);
        ASSERT_EQ(RowCount(hwnd), 1);
        EXPECT_TRUE(IsEnabled(hwnd, IDC_UPD_REFRESH));
        EXPECT_TRUE(IsEnabled(hwnd, IDC_UPD_INSTALL));
        EXPECT_TRUE(IsEnabled(hwnd, IDC_UPD_PRINTER));
        EXPECT_TRUE(IsEnabled(hwnd, IDC_UPD_REGION));
        EXPECT_TRUE(MenuEnabled(hwnd, ID_UPD_INSTALL));
        EXPECT_FALSE(MenuHas(hwnd, ID_UPD_TRANSFER)) << "the software view has no transfer command";
        EXPECT_FALSE(MenuEnabled(hwnd, ID_UPD_OPEN)) << "packages from disk are firmware";
        EXPECT_TRUE(MenuEnabled(hwnd, ID_UPD_PROXY));
        EXPECT_TRUE(MenuEnabled(hwnd, ID_UPD_REGION_FIRST));

        dialog->SetReady(0);
        // The states change one control after the other on the dialog's thread: wait for the last.
        EXPECT_TRUE(WaitFor([&] {
            return !IsEnabled(hwnd, IDC_UPD_REFRESH) && !IsEnabled(hwnd, IDCANCEL) &&
                   !MenuEnabled(hwnd, ID_UPD_REGION_FIRST) && !MenuEnabled(hwnd, ID_UPD_HISTORY);
        }));
        EXPECT_FALSE(IsEnabled(hwnd, IDC_UPD_INSTALL));
        EXPECT_FALSE(IsEnabled(hwnd, IDC_UPD_PRINTER));
        EXPECT_FALSE(IsEnabled(hwnd, IDC_UPD_REGION));
        EXPECT_FALSE(IsEnabled(hwnd, IDCANCEL));
        EXPECT_FALSE(MenuEnabled(hwnd, ID_UPD_HISTORY));
        EXPECT_FALSE(MenuEnabled(hwnd, ID_UPD_REGION_FIRST));
        // Busy: a click on install asks for nothing.
        SendCommand(hwnd, IDC_UPD_INSTALL);
        EXPECT_FALSE(IsSignalled(start_.get()));

        dialog->SetReady(1);
        EXPECT_TRUE(WaitFor([&] { return IsEnabled(hwnd, IDC_UPD_INSTALL); }));
        SetTicked(hwnd, 0, false);
        EXPECT_TRUE(WaitFor([&] { return !IsEnabled(hwnd, IDC_UPD_INSTALL); })) << "nothing ticked";
        SetTicked(hwnd, 0, true);
        EXPECT_TRUE(WaitFor([&] { return IsEnabled(hwnd, IDC_UPD_INSTALL); }));
        ClickButton(hwnd, IDC_UPD_INSTALL);
        EXPECT_TRUE(IsSignalled(start_.get()));
        ClickButton(hwnd, IDC_UPD_REFRESH);
        EXPECT_TRUE(IsSignalled(refresh_.get()));
        EXPECT_EQ(RowCount(hwnd), 0) << "refresh clears the list";
    });
}

TEST_F(UpdaterDialogTest, FirmwareViewOffersOpenAndTransferButNoPrinterChoice) {
    auto dialog = MakeDialog();
    Run(*dialog, UpdateView::Firmware, [&](HWND hwnd) {
        EXPECT_TRUE(MenuEnabled(hwnd, ID_UPD_OPEN));
        EXPECT_TRUE(MenuHas(hwnd, ID_UPD_TRANSFER));
        EXPECT_FALSE(MenuHas(hwnd, ID_UPD_INSTALL));
        EXPECT_FALSE(IsEnabled(hwnd, IDC_UPD_PRINTER));
        EXPECT_EQ(TextOf(hwnd, IDC_UPD_INSTALL), scup::LoadLangString(IDS_UPD_TRANSFER, kEnglish));
        EXPECT_EQ(TextOf(hwnd, IDC_UPD_HEADER_TITLE), scup::LoadLangString(IDS_UPD_FIRMWARE_TITLE, kEnglish));
        EXPECT_EQ(TextOf(hwnd, IDC_UPD_PRINTER), kPrinter);
    });
}

// Enter on the transfer button, which draws itself, transfers as a click does.
TEST_F(UpdaterDialogTest, EnterOnTheTransferButtonTransfersTheTickedFirmware) {
    auto dialog = MakeDialog();
    RefinedList list;
    list[kPrinter][L"FP-MAIN_ENU_USA"] = Entry(L"FP-MAIN", L"FIRM", L"");
    Run(*dialog, UpdateView::Firmware, [&](HWND hwnd) {
        dialog->SetUpdates(list, kAskedAt);
        ASSERT_EQ(RowCount(hwnd), 1);
        ASSERT_TRUE(WaitFor([&] { return IsEnabled(hwnd, IDC_UPD_INSTALL); }));
        ResetEvent(start_.get());
        HWND transfer = GetDlgItem(hwnd, IDC_UPD_INSTALL);
        SendMessageW(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(transfer), TRUE);
        PostMessageW(transfer, WM_KEYDOWN, VK_RETURN, 0);
        PostMessageW(transfer, WM_KEYUP, VK_RETURN, 0);
        EXPECT_TRUE(WaitFor([&] { return IsSignalled(start_.get()); }));
    });
}

TEST_F(UpdaterDialogTest, ClosingIsIgnoredWhileACheckRuns) {
    auto dialog = MakeDialog();
    bool closed = false;
    Run(*dialog, UpdateView::Software, [&](HWND hwnd) {
        ASSERT_TRUE(WaitFor([&] { return IsSignalled(check_.get()); }));
        // The update thread takes the check: busy, with the panel up.
        dialog->SetReady(0);
        dialog->ShowProgress(ProgressMode::Checking);
        SendCommand(hwnd, IDCANCEL);
        SendMessageW(hwnd, WM_COMMAND, ID_UPD_EXIT, 0);
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
        PumpFor(0);
        Sleep(200);
        EXPECT_TRUE(IsWindow(hwnd)) << "the dialog closed while the check ran";
        dialog->ShowProgress(ProgressMode::Hidden);
        dialog->SetReady(1);
        SendCommand(hwnd, IDCANCEL);
        closed = WaitFor([&] { return !IsWindow(hwnd); });
    });
    EXPECT_TRUE(closed) << "once idle, Close closes";
}

TEST_F(UpdaterDialogTest, ProgressPanelModesAndPlace) {
    auto dialog = MakeDialog();
    Run(*dialog, UpdateView::Software, [&](HWND hwnd) {
        const auto panel = scup::CMessageDialog::Panel();
        ASSERT_NE(panel, nullptr);
        HWND window = panel->GetSafeHwnd();
        EXPECT_FALSE(IsWindowVisible(window));

        dialog->ShowProgress(ProgressMode::Checking);
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(dialog->m_progressMode.load(), ProgressMode::Checking);
        EXPECT_TRUE(panel->IsMarquee());
        EXPECT_EQ(TextOf(window, IDC_MSG_LINE), scup::LoadLangString(IDS_UPD_CHECKING, kEnglish));
        EXPECT_TRUE(IsShown(GetDlgItem(window, IDCANCEL)))
            << "a check that waits on the server can be cancelled";
        EXPECT_TRUE(IsEnabled(window, IDCANCEL));
        RECT owner{}, own{};
        GetWindowRect(hwnd, &owner);
        GetWindowRect(window, &own);
        EXPECT_EQ(own.left, (owner.left + owner.right - (own.right - own.left)) / 2);
        EXPECT_EQ(own.top, (owner.top + owner.bottom - (own.bottom - own.top) - 100) / 2);

        dialog->ShowProgress(ProgressMode::Installing);
        EXPECT_FALSE(panel->IsMarquee());
        EXPECT_EQ(TextOf(window, IDC_MSG_LINE), L"");
        EXPECT_TRUE(IsShown(GetDlgItem(window, IDCANCEL)));
        EXPECT_TRUE(IsEnabled(window, IDCANCEL));
        dialog->SetProgressItem(L"Label editor 5.2");
        EXPECT_EQ(TextOf(window, IDC_MSG_LINE), scup::LoadLangString(IDS_UPD_DOWNLOADING, kEnglish));
        EXPECT_EQ(TextOf(window, IDC_MSG_ITEM), L"Label editor 5.2");
        dialog->SetProgressPercent(40);
        EXPECT_EQ(ProgressPosition(window, IDC_MSG_PROGRESS), 40);

        dialog->ShowProgress(ProgressMode::Hidden);
        EXPECT_FALSE(IsWindowVisible(window));
        EXPECT_EQ(ProgressPosition(window, IDC_MSG_PROGRESS), 0);
        EXPECT_EQ(dialog->m_progressMode.load(), ProgressMode::Hidden);
    });
    EXPECT_EQ(scup::CMessageDialog::Panel(), nullptr) << "the panel goes with the dialog";
}

// A row stands for a package the user can install: one whose description was refused is not
// offered under a borrowed title with a blank version, ticked.
TEST_F(UpdaterDialogTest, AnEntryWhoseDescriptionPackageWasRefusedIsNotOffered) {
    auto dialog = MakeDialog();
    RefinedList list;
    auto add = [&](const std::wstring& id, ZipWriter zip) {
        list[kPrinter][id + L"_ENU_USA"] = Entry(id, L"PCS", Package(id + L".zip", std::move(zip)));
    };
    add(L"PP-GOOD", ZipWriter().Deflated("data.xml", Description("Label editor")));
    add(L"PP-ESCAPE", ZipWriter().Deflated("../data.xml", Description("Escaping")));
    add(L"PP-DOCTYPE", ZipWriter().Deflated("data.xml",
                                            "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY e \"boom\">]>"
                                            "<ScriboUpdater><Title>&e;</Title></ScriboUpdater>"));
    const std::wstring broken = scratch_ + L"\\PP-BROKEN.zip";
    testing_support::WriteBinaryFile(broken, "PK\x03\x04 not an archive");
    list[kPrinter][L"PP-BROKEN_ENU_USA"] = Entry(L"PP-BROKEN", L"PCS", broken);
    Run(*dialog, UpdateView::Software, [&](HWND hwnd) {
        dialog->SetUpdates(list, kAskedAt);
        ASSERT_EQ(RowCount(hwnd), 1);
        EXPECT_EQ(Cell(hwnd, 0, 1), L"Label editor");
    });
}

std::wstring TimeOf(const SYSTEMTIME& time) {
    wchar_t text[64] = {};
    GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &time, nullptr, text, 64);
    return text;
}

// An empty list after a check is no broken window: it says that all is up to date, and when the
// server was asked (a list kept from an earlier check is as old as that check).
TEST_F(UpdaterDialogTest, AfterACheckThatFindsNothingTheListSaysAllIsUpToDateAndWhen) {
    auto dialog = MakeDialog();
    RefinedList offer;
    offer[kPrinter][L"PP-EDIT_ENU_USA"] = Entry(
        L"PP-EDIT", L"PCS", Package(L"edit.zip", ZipWriter().Deflated("data.xml", Description("Editor"))));
    Run(*dialog, UpdateView::Software, [&](HWND hwnd) {
        HWND note = GetDlgItem(ListOf(hwnd), IDC_UPD_EMPTY);
        ASSERT_NE(note, nullptr);
        auto shown = [&] { return (GetWindowLongW(note, GWL_STYLE) & WS_VISIBLE) != 0; };
        EXPECT_FALSE(shown()) << "before any check the list says nothing";

        dialog->SetUpdates({}, kAskedAt);
        EXPECT_TRUE(shown());
        const std::wstring pattern = scup::LoadLangString(IDS_UPD_UP_TO_DATE, kEnglish);
        EXPECT_EQ(TextOf(ListOf(hwnd), IDC_UPD_EMPTY),
                  scup::FillPlaceholders(pattern, {kPrinter, TimeOf(kAskedAt)}));

        dialog->SetUpdates(offer, kAskedAt);
        EXPECT_EQ(RowCount(hwnd), 1);
        EXPECT_FALSE(shown()) << "a list with updates needs no note";
        dialog->SetUpdates({}, kAskedAt);
        EXPECT_TRUE(shown());
        dialog->ClearList();
        EXPECT_FALSE(shown()) << "a cleared list waits for the next check";
    });
}

// Updates whose descriptions cannot be read leave the list, but an empty list then says that they
// could not be shown and why, never that all is up to date.
TEST_F(UpdaterDialogTest, UpdatesThatCannotBeShownAreNeverToldAsUpToDate) {
    auto dialog = MakeDialog();
    RefinedList offer;
    offer[kPrinter][L"PP-EDIT_ENU_USA"] =
        Entry(L"PP-EDIT", L"PCS", Package(L"broken.zip", ZipWriter().Stored("readme.txt", "no description")));
    const std::wstring readable =
        Package(L"edit.zip", ZipWriter().Deflated("data.xml", Description("Editor")));
    const std::wstring notAFolder = scratch_ + L"\\temp-is-a-file";
    WriteBinaryFile(notAFolder, "x");
    wchar_t savedTmp[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", savedTmp, MAX_PATH);
    const CUnzipHolder noLibrary(scratch_ + L"\\nowhere\\");
    Run(*dialog, UpdateView::Software, [&](HWND hwnd) {
        auto note = [&] { return TextOf(ListOf(hwnd), IDC_UPD_EMPTY); };
        auto expected = [&](UINT id) {
            return scup::FillPlaceholders(scup::LoadLangString(id, kEnglish), {kPrinter});
        };
        dialog->SetUpdates(offer, kAskedAt);
        EXPECT_EQ(RowCount(hwnd), 0);
        EXPECT_EQ(note(), expected(IDS_UPD_NOT_SHOWN_DAMAGED));

        offer[kPrinter][L"PP-EDIT_ENU_USA"].strFilePath = readable;
        SetEnvironmentVariableW(L"TMP", (notAFolder + L"\\").c_str());
        dialog->SetUpdates(offer, kAskedAt);
        SetEnvironmentVariableW(L"TMP", savedTmp);
        EXPECT_EQ(RowCount(hwnd), 0);
        EXPECT_EQ(note(), expected(IDS_UPD_NOT_SHOWN_TEMP));

        dialog->SetUnzip(&noLibrary);
        dialog->SetUpdates(offer, kAskedAt);
        EXPECT_EQ(RowCount(hwnd), 0);
        EXPECT_EQ(note(), expected(IDS_UPD_NOT_SHOWN_UNZIP));

        dialog->SetUnzip(&unzip_);
        dialog->SetUpdates(offer, kAskedAt);
        EXPECT_EQ(RowCount(hwnd), 1) << "the same package reads once the library is there";
    });
}

TEST_F(UpdaterDialogTest, RowsSortByKindThenTitleAndOnlyUpdatesAreTicked) {
    auto dialog = MakeDialog();
    RefinedList list;
    auto add = [&](const std::wstring& id, const std::string& title, int newInstall,
                   const std::wstring& category) {
        const std::wstring package =
            Package(id + L".zip", ZipWriter().Deflated("data.xml", Description(title)));
        list[kPrinter][id + L"_ENU_USA"] = Entry(id, category, package, newInstall);
    };
    add(L"PS-FONTS", "Fonts", 0, L"PCS");
    add(L"PP-ZED", "(USA) Address book", 1, L"PCS");
    add(L"PP-EDIT", "Label editor", 0, L"PCS");
    add(L"PA-TOOL", "Zeta tool", 1, L"PCS");
    add(L"FP-MAIN", "Firmware", 0, L"FIRM");  // not in the software view
    std::vector<SAUTickedRow> ticked;
    Run(*dialog, UpdateView::Software, [&](HWND hwnd) {
        dialog->SetUpdates(list, kAskedAt);
        ASSERT_EQ(RowCount(hwnd), 4);
        EXPECT_EQ(Cell(hwnd, 0, 1), L"Zeta tool");
        EXPECT_EQ(Cell(hwnd, 1, 1), L"(USA) Address book");
        EXPECT_EQ(Cell(hwnd, 2, 1), L"Label editor");
        EXPECT_EQ(Cell(hwnd, 3, 1), L"Fonts");
        EXPECT_EQ(Cell(hwnd, 2, 2), L"2.1");
        EXPECT_EQ(Cell(hwnd, 2, 3), L"3 MB");
        EXPECT_FALSE(Ticked(hwnd, 0)) << "a new installation is left for the user to tick";
        EXPECT_FALSE(Ticked(hwnd, 1));
        EXPECT_TRUE(Ticked(hwnd, 2));
        EXPECT_TRUE(Ticked(hwnd, 3));
        EXPECT_EQ(SendMessageW(ListOf(hwnd), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 0);
        SetTicked(hwnd, 0, true);
        // The update thread reads the ticked rows while the dialog runs.
        ticked = dialog->GetTickedRows();
    });
    ASSERT_EQ(ticked.size(), 3u);
    EXPECT_EQ(ticked[0].nRow, 0);
    EXPECT_EQ(ticked[0].record.info.strId, L"PA-TOOL");
    EXPECT_EQ(ticked[1].nRow, 2);
    EXPECT_EQ(ticked[1].record.strTitle, L"Label editor");
    EXPECT_EQ(ticked[2].record.info.strId, L"PS-FONTS");
    EXPECT_EQ(ticked[2].record.strDescription, L"About Fonts");
}

TEST_F(UpdaterDialogTest, ArabicListEmbedsLeftToRightTextAndEverySize) {
    auto dialog = MakeDialog(kArabic, 1025);
    RefinedList list;
    list[kPrinter][L"PP-EN"] = Entry(
        L"PP-EN", L"PCS", Package(L"en.zip", ZipWriter().Deflated("data_ENG.xml", Description("Editor"))));
    list[kPrinter][L"PP-AR"] =
        Entry(L"PP-AR", L"PCS",
              Package(L"ar.zip",
                      ZipWriter().Deflated("data_ARA.xml", Description("\xd9\x85\xd8\xad\xd8\xb1\xd8\xb1"))));
    Run(*dialog, UpdateView::Software, [&](HWND hwnd) {
        dialog->SetUpdates(list, kAskedAt);
        ASSERT_EQ(RowCount(hwnd), 2);
        for (int row = 0; row < 2; ++row) {
            const std::wstring title = Cell(hwnd, row, 1);
            ASSERT_FALSE(title.empty());
            if (title.find(L"Editor") != std::wstring::npos)
                EXPECT_EQ(title, std::wstring(1, kEmbedding) + L"Editor");
            else
                EXPECT_EQ(title, L"\x0645\x062d\x0631\x0631")
                    << "Arabic text in an Arabic list needs no mark";
            EXPECT_EQ(Cell(hwnd, row, 3), std::wstring(1, kEmbedding) + L"3 MB");
            EXPECT_EQ(Cell(hwnd, row, 2), L"2.1");
        }
    });
}

TEST_F(UpdaterDialogTest, DetailsPaneShowsThumbnailOrBuiltInPictureAndOpensTheLink) {
    auto dialog = MakeDialog();
    RefinedList list;
    list[kPrinter][L"FP-MAIN"] =
        Entry(L"FP-MAIN", L"FIRM",
              Package(L"fw.zip", ZipWriter()
                                     .Deflated("data.xml", Description("Firmware",
                                                                       "<Thumbnail>t.bmp</Thumbnail>"
                                                                       "<URL>http://portal.example/fw</URL>"))
                                     .Stored("t.bmp", SmallBitmapFile())));
    list[kPrinter][L"FP-SUB"] = Entry(L"FP-SUB", L"FIRM", L"");
    Run(*dialog, UpdateView::Firmware, [&](HWND hwnd) {
        dialog->SetUpdates(list, kAskedAt);
        ASSERT_EQ(RowCount(hwnd), 2);
        ASSERT_EQ(Cell(hwnd, 0, 1), L"Firmware");
        ASSERT_TRUE(WaitFor([&] { return dialog->Details().HasContent(); }));
        EXPECT_TRUE(dialog->Details().ShowsThumbnail());
        EXPECT_EQ(dialog->Details().PictureWidth(), 4u);
        EXPECT_EQ(dialog->LinkAddress(), L"http://portal.example/fw");
        EXPECT_TRUE(IsShown(GetDlgItem(hwnd, IDC_UPD_LINK)));

        // A click at the right end of the link opens the page.
        RECT pane{};
        GetWindowRect(GetDlgItem(hwnd, IDC_UPD_THEME), &pane);
        RECT link{};
        GetWindowRect(GetDlgItem(hwnd, IDC_UPD_LINK), &link);
        POINT inside{pane.right - 4 - 3, link.top + 5};
        ScreenToClient(hwnd, &inside);
        SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(inside.x, inside.y));
        POINT below{inside.x, inside.y + 40};
        SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(below.x, below.y));
        ASSERT_EQ(Opened().size(), 1u);
        EXPECT_EQ(Opened()[0], L"http://portal.example/fw");

        // The row without a description package: built-in picture, the portal's details page.
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(ListOf(hwnd), LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&item));
        ASSERT_TRUE(
            WaitFor([&] { return dialog->LinkAddress().find(L"download.aspx") != std::wstring::npos; }));
        EXPECT_FALSE(dialog->Details().ShowsThumbnail());
        EXPECT_EQ(dialog->Details().BuiltInPicture(), static_cast<UINT>(IDB_UPD_DETAILS_DEFAULT));
        EXPECT_EQ(
            dialog->LinkAddress(),
            L"http://support.corvane-industries.example/solutions/download.aspx?model=0&country=USA&gengo=ENU"
            L"&os=" +
                scup::CurrentSystemVersionText() + L"&c=1&m=0&y=0&k=0");
    });
}

TEST(DetailsPageAddressTest, OnlyHttpAndHttpsPagesWithAHostCountAsWebPages) {
    for (const wchar_t* address :
         {L"http://portal.example/fw", L"https://portal.example", L"HTTPS://PORTAL.EXAMPLE/"})
        EXPECT_TRUE(scup::IsWebPageAddress(address)) << address;
    for (const wchar_t* address : {L"", L"http://", L"http:///etc/passwd", L"file:///C:/Windows/notepad.exe",
                                   L"C:\\Windows\\notepad.exe", L"\\\\server\\share\\run.exe", L"notepad.exe",
                                   L"javascript:alert(1)", L" http://portal.example"})
        EXPECT_FALSE(scup::IsWebPageAddress(address)) << address;
}

TEST_F(UpdaterDialogTest, ADetailsLinkToAnythingButAWebPageIsNeitherShownNorOpened) {
    auto dialog = MakeDialog();
    RefinedList list;
    list[kPrinter][L"FP-MAIN"] = Entry(
        L"FP-MAIN", L"FIRM",
        Package(L"local.zip", ZipWriter().Deflated(
                                  "data.xml", Description("Alpha", "<URL>C:\\Windows\\notepad.exe</URL>"))));
    list[kPrinter][L"FP-SUB"] = Entry(
        L"FP-SUB", L"FIRM",
        Package(L"web.zip", ZipWriter().Deflated(
                                "data.xml", Description("Beta", "<URL>HTTPS://portal.example/fw</URL>"))));
    Run(*dialog, UpdateView::Firmware, [&](HWND hwnd) {
        dialog->SetUpdates(list, kAskedAt);
        ASSERT_EQ(RowCount(hwnd), 2);
        ASSERT_EQ(Cell(hwnd, 0, 1), L"Alpha");
        ASSERT_TRUE(WaitFor([&] { return dialog->Details().HasContent(); }));
        EXPECT_EQ(dialog->LinkAddress(), L"");
        EXPECT_FALSE(IsShown(GetDlgItem(hwnd, IDC_UPD_LINK)));
        // Where the link would be, a click opens nothing.
        RECT pane{}, link{};
        GetWindowRect(GetDlgItem(hwnd, IDC_UPD_THEME), &pane);
        GetWindowRect(GetDlgItem(hwnd, IDC_UPD_LINK), &link);
        POINT inside{pane.right - 4 - 3, link.top + 5};
        ScreenToClient(hwnd, &inside);
        SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(inside.x, inside.y));
        EXPECT_TRUE(Opened().empty());

        LVITEMW item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(ListOf(hwnd), LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&item));
        ASSERT_TRUE(WaitFor([&] { return dialog->LinkAddress() == L"HTTPS://portal.example/fw"; }));
        EXPECT_TRUE(IsShown(GetDlgItem(hwnd, IDC_UPD_LINK)));
    });
}

TEST_F(UpdaterDialogTest, ProxySettingsLeftAsTheyWereKeepTheListAndAnotherWayToTheServerResetsIt) {
    const std::wstring dataFolder = scratch_ + L"\\data\\";
    CAUXMLParser::SetDataFolderSource([&] { return dataFolder; });
    CAUConfigXML config;
    config.Initialize();
    SAUProxyInfo stored;
    stored.strProxyServer = L"proxy.example:8080";
    ASSERT_EQ(config.SetProxyInfo(stored), 0);
    auto dialog = MakeDialog();
    dialog->SetConfiguration(&config);
    RefinedList list;
    list[kPrinter][L"FP-MAIN"] = Entry(L"FP-MAIN", L"FIRM", L"");
    const DWORD uiThread = GetCurrentThreadId();
    Run(*dialog, UpdateView::Firmware, [&](HWND hwnd) {
        dialog->SetUpdates(list, kAskedAt);
        ASSERT_EQ(RowCount(hwnd), 1);
        // Opens the proxy settings from the menu, turns the stored proxy on when asked, and clicks OK.
        auto proxySettings = [&](bool turnOn) {
            PostMessageW(hwnd, WM_COMMAND, ID_UPD_PROXY, 0);
            HWND proxy = WaitForThreadDialog(uiThread, IDC_PROXY_HOST);
            ASSERT_NE(proxy, nullptr);
            if (turnOn) ClickButton(proxy, IDC_PROXY_USE);
            ClickButton(proxy, IDOK);
            ASSERT_TRUE(WaitFor([&] { return !IsWindow(proxy); }));
        };
        proxySettings(false);
        EXPECT_EQ(WaitForSingleObject(reset_.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
        EXPECT_EQ(RowCount(hwnd), 1);
        proxySettings(true);
        EXPECT_EQ(WaitForSingleObject(reset_.get(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
        EXPECT_EQ(RowCount(hwnd), 0);
    });
    CAUXMLParser::SetDataFolderSource({});
}

TEST_F(UpdaterDialogTest, EditorRowWithoutThumbnailShowsTheEditorPicture) {
    auto dialog = MakeDialog();
    RefinedList list;
    list[kPrinter][L"PP-SCEDIT50"] = Entry(L"PP-SCEDIT50", L"PCS", L"");
    Run(*dialog, UpdateView::Software, [&](HWND hwnd) {
        dialog->SetUpdates(list, kAskedAt);
        ASSERT_EQ(RowCount(hwnd), 1);
        ASSERT_TRUE(WaitFor([&] { return dialog->Details().HasContent(); }));
        EXPECT_EQ(dialog->Details().BuiltInPicture(), static_cast<UINT>(IDB_UPD_DETAILS_EDITOR));
        EXPECT_GT(dialog->Details().PictureWidth(), 0u);
    });
}

TEST_F(UpdaterDialogTest, BoxesOpenOnArrowKeysIgnoreTheWheelAndCheckOnCloseUp) {
    auto dialog = MakeDialog(kEnglish, kUnitedStates);
    Run(*dialog, UpdateView::Software, [&](HWND hwnd) {
        ASSERT_TRUE(WaitFor([&] { return IsSignalled(check_.get()); }));
        HWND region = GetDlgItem(hwnd, IDC_UPD_REGION);
        const LRESULT chosen = SendMessageW(region, CB_GETCURSEL, 0, 0);
        ASSERT_GE(chosen, 0);
        const auto regions = CUpdaterDialog::AvailableRegions();
        ASSERT_GT(regions.size(), 2u);
        EXPECT_EQ(regions[static_cast<size_t>(chosen)].locale, kUnitedStates)
            << "the dialog's own region stays";

        SendMessageW(region, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
        EXPECT_EQ(SendMessageW(region, CB_GETCURSEL, 0, 0), chosen);
        SendMessageW(region, WM_KEYDOWN, VK_DOWN, 0);
        EXPECT_TRUE(SendMessageW(region, CB_GETDROPPEDSTATE, 0, 0)) << "an arrow key opens the list";
        EXPECT_EQ(SendMessageW(region, CB_GETCURSEL, 0, 0), chosen) << "and does not step the choice";

        // The user takes another region and the list closes: a check for it.
        const WPARAM other = chosen == 0 ? 1 : 0;
        SendMessageW(region, CB_SETCURSEL, other, 0);
        SendMessageW(region, CB_SHOWDROPDOWN, FALSE, 0);
        EXPECT_TRUE(WaitFor([&] { return dialog->m_nLocale.load() == regions[other].locale; }));
        EXPECT_TRUE(IsSignalled(check_.get()));
        // The region menu marks the region chosen.
        EXPECT_TRUE(
            GetMenuState(GetMenu(hwnd), ID_UPD_REGION_FIRST + static_cast<UINT>(other), MF_BYCOMMAND) &
            MF_CHECKED);

        // The region menu chooses the same way.
        SendMessageW(hwnd, WM_COMMAND, ID_UPD_REGION_FIRST + static_cast<UINT>(chosen), 0);
        EXPECT_EQ(dialog->m_nLocale.load(), kUnitedStates);
        EXPECT_EQ(SendMessageW(region, CB_GETCURSEL, 0, 0), chosen);

        HWND printer = GetDlgItem(hwnd, IDC_UPD_PRINTER);
        SendMessageW(printer, CB_SETCURSEL, 1, 0);
        SendMessageW(printer, CB_SHOWDROPDOWN, TRUE, 0);
        SendMessageW(printer, CB_SHOWDROPDOWN, FALSE, 0);
        EXPECT_TRUE(WaitFor([&] { return dialog->m_printer.Get() == L"Corvane SC-300"; }));
        EXPECT_TRUE(IsSignalled(check_.get()));
    });
}

TEST_F(UpdaterDialogTest, DiskPackageWithoutFirmwareFileTellsSoAndSendsNothing) {
    auto dialog = MakeDialog();
    const std::wstring package =
        Package(L"notes.pdz", ZipWriter().Deflated("readme.txt", "no firmware here"));
    Run(*dialog, UpdateView::Firmware, [&](HWND hwnd) {
        dialog->AddLocalPackages({package});
        ASSERT_EQ(RowCount(hwnd), 1);
        EXPECT_EQ(Cell(hwnd, 0, 1), L"notes.pdz");
        EXPECT_EQ(dialog->m_bLocalFiles.load(), 1);
        EXPECT_FALSE(IsEnabled(hwnd, IDC_UPD_REFRESH)) << "there is nothing to refresh from disk";
        EXPECT_FALSE(IsEnabled(hwnd, IDC_UPD_REGION));
        EXPECT_FALSE(dialog->Details().HasContent()) << "packages from disk have no details";
        ClickButton(hwnd, IDC_UPD_INSTALL);
        EXPECT_TRUE(IsWindowVisible(hwnd)) << "the dialog comes back after the attempt";
        EXPECT_EQ(RowCount(hwnd), 1);
    });
    EXPECT_TRUE(Transfers().empty());
    ASSERT_EQ(messages_.Messages().size(), 1u);
    EXPECT_EQ(messages_.Messages()[0].text, scup::LoadLangString(IDS_MSG_NO_FIRMWARE_FILE, kEnglish));
    EXPECT_TRUE(messages_.Messages()[0].style & MB_ICONSTOP);
}

TEST_F(UpdaterDialogTest, DiskPackageFirmwareGoesToThePrinterAndItsRowGoes) {
    auto dialog = MakeDialog();
    const std::wstring first =
        Package(L"first.pdz",
                ZipWriter().Deflated("MAIN.PD3", "firmware one").Deflated("data.xml", Description("x")));
    const std::wstring second = Package(L"second.pdz", ZipWriter().Deflated("sub.pd3", "firmware two"));
    Run(*dialog, UpdateView::Firmware, [&](HWND hwnd) {
        dialog->AddLocalPackages({first, second});
        ASSERT_EQ(RowCount(hwnd), 2);
        SetTicked(hwnd, 1, false);
        ClickButton(hwnd, IDC_UPD_INSTALL);
        EXPECT_EQ(RowCount(hwnd), 1) << "the package sent is taken off the list";
        EXPECT_EQ(Cell(hwnd, 0, 1), L"second.pdz");
        EXPECT_FALSE(dialog->m_bKeepAwake) << "the system may sleep again";
    });
    ASSERT_EQ(Transfers().size(), 1u);
    EXPECT_EQ(Transfers()[0].driver, kPrinter);
    ASSERT_EQ(Transfers()[0].files.size(), 1u);
    const std::wstring sent = Transfers()[0].files[0];
    EXPECT_EQ(sent.substr(sent.size() - 9), L"\\MAIN.PD3");
    EXPECT_FALSE(FileExists(sent)) << "the unpacked files are removed afterwards";
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(UpdaterDialogTest, ADiskPackageThatCannotBeUnpackedStaysOnTheListWhileTheOthersAreSent) {
    auto dialog = MakeDialog();
    const std::wstring broken = Package(L"broken.pdz", ZipWriter());
    WriteTextFile(broken, "this is not a zip archive");
    const std::wstring good = Package(L"good.pdz", ZipWriter().Deflated("MAIN.PD3", "firmware"));
    Run(*dialog, UpdateView::Firmware, [&](HWND hwnd) {
        dialog->AddLocalPackages({broken, good});
        ASSERT_EQ(RowCount(hwnd), 2);
        ClickButton(hwnd, IDC_UPD_INSTALL);
        EXPECT_EQ(RowCount(hwnd), 1) << "only the package sent leaves the list";
        EXPECT_EQ(Cell(hwnd, 0, 1), L"broken.pdz");
    });
    ASSERT_EQ(Transfers().size(), 1u);
    ASSERT_EQ(Transfers()[0].files.size(), 1u);
    const auto messages = messages_.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(
        messages[0].text,
        scup::FillPlaceholders(scup::LoadLangString(IDS_MSG_PACKAGE_UNREADABLE, kEnglish), {L"broken.pdz"}));
}

TEST_F(UpdaterDialogTest, MissingDiskPackageStopsBeforeUnpacking) {
    auto dialog = MakeDialog();
    const std::wstring package = Package(L"gone.pdz", ZipWriter().Deflated("a.pd3", "fw"));
    Run(*dialog, UpdateView::Firmware, [&](HWND hwnd) {
        dialog->AddLocalPackages({package});
        DeleteFileW(package.c_str());
        ClickButton(hwnd, IDC_UPD_INSTALL);
        EXPECT_EQ(RowCount(hwnd), 1);
    });
    EXPECT_TRUE(Transfers().empty());
    ASSERT_EQ(messages_.Messages().size(), 1u);
    EXPECT_EQ(messages_.Messages()[0].text, scup::LoadLangString(IDS_MSG_PACKAGE_MISSING, kEnglish));
}

TEST_F(UpdaterDialogTest, RefusesLogOffAndAllowsSuspendWithoutTransfer) {
    auto dialog = MakeDialog();
    Run(*dialog, UpdateView::Software, [&](HWND hwnd) {
        EXPECT_EQ(SendMessageW(hwnd, WM_QUERYENDSESSION, 0, 0), FALSE);
        EXPECT_EQ(SendMessageW(hwnd, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0), TRUE)
            << "no transfer runs: the system may sleep";
    });
}

// The packages the update server hands out (the demo catalog that the native tools build): their
// descriptions fill the rows in the region's language with their pictures, and their firmware
// packages go to the printer from disk.
TEST_F(UpdaterDialogTest, ServerCatalogPackagesFillRowsAndTransferFromDisk) {
    const std::wstring catalog = BinFolder() + L"..\\..\\native\\demo-catalog\\";
    const std::wstring mainPackage = catalog + L"SC-200\\SC-200_FP-MAIN_ALL_ALL_1.05.zip";
    ASSERT_TRUE(FileExists(mainPackage)) << "build the native tools first (scripts/build.sh)";
    auto dialog = MakeDialog(kEnglish, 1041);
    RefinedList list;
    list[kPrinter][L"FP-MAIN_ALL_ALL"] = Entry(L"FP-MAIN", L"FIRM", mainPackage);
    list[kPrinter][L"FP-FONTS_ALL_ALL"] =
        Entry(L"FP-FONTS", L"FIRM", catalog + L"SC-200\\SC-200_FP-FONTS_ALL_ALL_2.10.zip", 1);
    Run(*dialog, UpdateView::Firmware, [&](HWND hwnd) {
        dialog->SetUpdates(list, kAskedAt);
        ASSERT_EQ(RowCount(hwnd), 2);
        // Japanese titles, in the order of their kana: fonts before main firmware.
        EXPECT_EQ(Cell(hwnd, 0, 1), L"SC-200 \x30d5\x30a9\x30f3\x30c8\x30c7\x30fc\x30bf 2.10");
        EXPECT_EQ(Cell(hwnd, 1, 1),
                  L"SC-200 \x30e1\x30a4\x30f3\x30d5\x30a1\x30fc\x30e0\x30a6\x30a7\x30a2 1.05");
        EXPECT_EQ(Cell(hwnd, 1, 2), L"1.05");
        EXPECT_FALSE(Ticked(hwnd, 0));
        EXPECT_TRUE(Ticked(hwnd, 1));
        ASSERT_TRUE(WaitFor([&] { return dialog->Details().HasContent(); }));
        EXPECT_TRUE(dialog->Details().ShowsThumbnail()) << "the package's PNG picture decodes";

        dialog->AddLocalPackages({catalog + L"SC-200\\SC-200_FP-MAIN_ALL_ALL_1.05.pdz"});
        ClickButton(hwnd, IDC_UPD_INSTALL);
        EXPECT_EQ(RowCount(hwnd), 0);
    });
    ASSERT_EQ(Transfers().size(), 1u);
    ASSERT_EQ(Transfers()[0].files.size(), 1u);
    const std::wstring sent = Transfers()[0].files[0];
    EXPECT_EQ(sent.substr(sent.find_last_of(L'\\') + 1), L"SC-200_FP-MAIN_1.05.pd3");
}

}  // namespace
