#include <gtest/gtest.h>

#include "SimulatedPC.h"
#include "TestSupport.h"
#include "app/UpdateRefinement.h"
#include "common/AppFiles.h"
#include "common/Handles.h"
#include "local/AULocalData.h"

namespace {

using namespace testing_support;

constexpr wchar_t kDriver[] = L"Corvane SC-200";
constexpr wchar_t kMaker[] = L"SOFTWARE\\Corvane Industries, Ltd.\\";

// A key of the maker's applications in the 32-bit view, as their installers write it (or in the
// view given); removed again with everything below it.
class InstalledKey {
  public:
    explicit InstalledKey(const std::wstring& path, REGSAM view = KEY_WOW64_32KEY)
        : path_(path), view_(view) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                        nullptr);
        key_.reset(key);
    }
    ~InstalledKey() {
        key_.reset();
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), view_, 0);
    }
    InstalledKey& Text(const wchar_t* name, const std::wstring& value) {
        RegSetValueExW(key_.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        return *this;
    }

  private:
    std::wstring path_;
    REGSAM view_;
    scup::UniqueRegKey key_;
};

// A 128-byte stored-file record with its name, version and language-region fields.
std::string Record(const std::string& name, const std::string& version, const std::string& spec) {
    std::string record(128, '\0');
    record.replace(32, std::min<size_t>(name.size(), 16), name.substr(0, 16));
    record.replace(64, std::min<size_t>(version.size(), 5), version.substr(0, 5));
    record.replace(69, std::min<size_t>(spec.size(), 7), spec.substr(0, 7));
    return record;
}

class LocalDataTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = MakeScratchFolder(L"localdata");
        CAUXMLParser::SetDataFolderSource([this] { return dir_ + L"\\data\\"; });
        pc_.AddFamilyPrinter(L"SC-200 on COM5", kDriver, 0x2107);
        country_ = Abbreviation(LOCALE_USER_DEFAULT, LOCALE_SABBREVCTRYNAME);
    }
    void TearDown() override {
        CAUXMLParser::SetDataFolderSource({});
        scup::RemoveFolder(dir_);
    }
    static std::wstring Abbreviation(LCID locale, LCTYPE type) {
        wchar_t text[8] = {};
        GetLocaleInfoW(locale, type, text, 8);
        return text;
    }
    // An application installed in the folder with its resource library in the language.
    std::unique_ptr<InstalledKey> InstallApplication(const std::wstring& settingsKey, const wchar_t* library,
                                                     const wchar_t* language, const wchar_t* version) {
        std::wstring folder = dir_ + L"\\" + std::to_wstring(++apps_) + L"\\";
        CreateDirectoryW(folder.c_str(), nullptr);
        std::wstring source = BinFolder() + L"..\\fixtures\\appres_" + language + L".dll";
        EXPECT_TRUE(CopyFileW(source.c_str(), (folder + library).c_str(), FALSE))
            << "missing " << source.size();
        auto key = std::make_unique<InstalledKey>(kMaker + settingsKey);
        key->Text(L"ApplicationPath", folder);
        if (version) key->Text(L"PackageVersion", version);
        return key;
    }

    SimulatedPC pc_;
    std::wstring dir_;
    std::wstring country_;
    int apps_ = 0;
};

TEST_F(LocalDataTest, ApplicationRowsCarryTheirLanguageVersionAndTheTemplatesOfEditor50) {
    auto editor50 = InstallApplication(L"Scribo Editor\\5.0\\Settings", L"scres50.dll", L"0411", L"5.0.3");
    auto addressBook =
        InstallApplication(L"Scribo Address Book\\1.3\\Settings", L"CbRes.dll", L"0409", nullptr);
    InstalledKey wireMarker(std::wstring(kMaker) + L"WireMarker\\Settings");
    wireMarker.Text(L"PackageVersion", L"2.0");
    InstalledKey deviceSetup(std::wstring(kMaker) + L"Fieldlabel Printer\\Device Setup Tool\\Settings");
    InstalledKey templ(std::wstring(kMaker) + L"Scribo Editor Template\\Templates\\Office");
    templ.Text(L"ID", L"PS-OFFICE").Text(L"PackageVersion", L"1.1").Text(L"Language", L"JPN");

    CAULocalData data;
    ASSERT_TRUE(data.Initialize());
    ASSERT_EQ(data.GetPrinterMap().count(kDriver), 1u);
    ASSERT_EQ(data.CollectPrinterEnvironment(kDriver, false), CAULocalData::Environment::Collected);
    ComponentList rows = data.GetPrinterMap().at(kDriver);

    const std::wstring japanese = L"JPN_" + country_;
    ASSERT_EQ(rows.count(L"PP-SCEDIT50_" + japanese), 1u);
    const SAUExtFirmInfo& editor = rows.at(L"PP-SCEDIT50_" + japanese);
    EXPECT_EQ(editor.strName, kDriver);
    EXPECT_EQ(editor.strCategory, L"PCS");
    EXPECT_EQ(editor.strInstalledVersion, L"5.0.3");

    // Known language, no "PackageVersion": listed with version "0".
    ASSERT_EQ(rows.count(L"PP-CONTACT13_ENU_" + country_), 1u);
    EXPECT_EQ(rows.at(L"PP-CONTACT13_ENU_" + country_).strInstalledVersion, L"0");

    ASSERT_EQ(rows.count(L"PS-OFFICE_JPN_" + country_), 1u);
    EXPECT_EQ(rows.at(L"PS-OFFICE_JPN_" + country_).strInstalledVersion, L"1.1");
    EXPECT_EQ(rows.at(L"PS-OFFICE_JPN_" + country_).strCategory, L"");

    EXPECT_EQ(rows.at(L"PP-WIREMARK_ALL_" + country_).strInstalledVersion, L"2.0");
    EXPECT_EQ(rows.count(L"PP-DEVSETUP_ALL_" + country_), 0u) << "no version, no row";
    EXPECT_EQ(rows.size(), 4u);
    EXPECT_EQ(CAULocalData::IsPackageInstalled(L"PP-SCEDIT50"), true);
    EXPECT_EQ(CAULocalData::IsPackageInstalled(L"PP-SCEDIT52"), false);
}

TEST_F(LocalDataTest, TemplatesOfBothRegistryViewsAreRowsAndThe32BitEntryCountsForOneInBoth) {
    auto editor50 = InstallApplication(L"Scribo Editor\\5.0\\Settings", L"scres50.dll", L"0411", L"5.0.3");
    const std::wstring templates = std::wstring(kMaker) + L"Scribo Editor Template\\Templates\\";
    InstalledKey office(templates + L"Office");
    office.Text(L"ID", L"PS-OFFICE").Text(L"PackageVersion", L"1.2").Text(L"Language", L"JPN");
    InstalledKey staleOffice(templates + L"Office", KEY_WOW64_64KEY);
    staleOffice.Text(L"ID", L"PS-OFFICE").Text(L"PackageVersion", L"1.0").Text(L"Language", L"JPN");
    InstalledKey retail(templates + L"Retail", KEY_WOW64_64KEY);
    retail.Text(L"ID", L"PS-RETAIL").Text(L"PackageVersion", L"2.0").Text(L"Language", L"JPN");

    CAULocalData data;
    ASSERT_TRUE(data.Initialize());
    ASSERT_EQ(data.CollectPrinterEnvironment(kDriver, false), CAULocalData::Environment::Collected);
    const ComponentList rows = data.GetPrinterMap().at(kDriver);
    ASSERT_EQ(rows.count(L"PS-RETAIL_JPN_" + country_), 1u) << "the 64-bit view's template is missing";
    EXPECT_EQ(rows.at(L"PS-RETAIL_JPN_" + country_).strInstalledVersion, L"2.0");
    ASSERT_EQ(rows.count(L"PS-OFFICE_JPN_" + country_), 1u);
    EXPECT_EQ(rows.at(L"PS-OFFICE_JPN_" + country_).strInstalledVersion, L"1.2");
}

TEST_F(LocalDataTest, WithoutEditor50NoTemplateRowsAppear) {
    InstalledKey templ(std::wstring(kMaker) + L"Scribo Editor Template\\Templates\\Office");
    templ.Text(L"ID", L"PS-OFFICE").Text(L"PackageVersion", L"1.1").Text(L"Language", L"JPN");
    auto editor52 = InstallApplication(L"Scribo Editor\\5.2\\Settings", L"scres52.dll", L"0407", L"5.2.1");
    CAULocalData data;
    data.Initialize();
    data.CollectPrinterEnvironment(kDriver, false);
    ComponentList rows = data.GetPrinterMap().at(kDriver);
    EXPECT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.count(L"PP-SCEDIT52_DEU_" + country_), 1u);
}

TEST_F(LocalDataTest, FirmwareOfTwoPrintersIsMergedToTheLowerVersion) {
    CAULocalData data;
    data.Initialize();
    data.SetStoredFileReader(
        [](const std::wstring& driver, std::vector<std::vector<std::string>>& perPrinter) {
            if (driver != kDriver) return false;
            perPrinter.push_back({Record("FP-SC200MAIN", "1.05", "ENG_USA"), Record("FONTPACK", "2.00", ""),
                                  Record("FP-SC200SUB", "", "JPN_JPN")});
            perPrinter.push_back(
                {Record("FP-SC200MAIN", "1.04", "ENG_USA"), Record("FP-SC200BOOT", "3.00", "ALL_ALL")});
            return true;
        });
    ASSERT_EQ(data.CollectPrinterEnvironment(kDriver, true), CAULocalData::Environment::Collected);
    ComponentList rows = data.GetPrinterMap().at(kDriver);
    ASSERT_EQ(rows.count(L"FP-SC200MAIN_ENG_USA"), 1u);
    EXPECT_EQ(rows.at(L"FP-SC200MAIN_ENG_USA").strInstalledVersion, L"1.04");
    EXPECT_EQ(rows.at(L"FP-SC200MAIN_ENG_USA").strCategory, L"FIRM");
    EXPECT_EQ(rows.count(L"FONTPACK_ALL_ALL"), 0u) << "reported by one printer only, without FP-";
    EXPECT_EQ(rows.at(L"FP-SC200SUB_JPN_JPN").strInstalledVersion, L"0");
    EXPECT_EQ(rows.count(L"FP-SC200BOOT_ALL_ALL"), 1u);

    // A single printer's records stand as they are, an empty language-region field giving "ALL_ALL".
    SAUExtFirmInfo row = CAULocalData::FirmwareRowFromRecord(kDriver, Record("FONTPACK", "2.00", ""));
    EXPECT_EQ(row.strSpec, L"ALL_ALL");
    EXPECT_EQ(row.strId, L"FONTPACK");
}

TEST_F(LocalDataTest, FirmwareWithoutAConnectedPrinterGives1AndKeepsTheApplicationRows) {
    InstalledKey wireMarker(std::wstring(kMaker) + L"WireMarker\\Settings");
    wireMarker.Text(L"PackageVersion", L"2.0");
    CAULocalData data;
    data.Initialize();
    data.SetStoredFileReader(
        [](const std::wstring&, std::vector<std::vector<std::string>>&) { return false; });
    EXPECT_EQ(data.CollectPrinterEnvironment(kDriver, true), CAULocalData::Environment::NoPrinterConnected);
    EXPECT_EQ(data.GetPrinterMap().at(kDriver).size(), 1u);
    EXPECT_EQ(data.CollectPrinterEnvironment(L"Corvane Unknown", true), CAULocalData::Environment::Collected)
        << "a printer not found at start";
}

// The label editor's "DefPrn", else its "DefPtPrn", else the driver set-up's "LastInstalledPrinter"
// names a printer queue; the selection gives that queue's driver, by which printers are known.
TEST_F(LocalDataTest, TheRememberedPrinterQueueGivesItsDriverThroughTheWholeChain) {
    pc_.AddFamilyPrinter(L"Office SC-300", L"Corvane SC-300", 0x2108);
    const wchar_t* editorKey = L"Software\\Corvane Industries, Ltd.\\Scribo Editor\\5.0\\Settings";
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, editorKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    scup::UniqueRegKey editor(created);
    auto setText = [&](const wchar_t* name, const std::wstring& value) {
        RegSetValueExW(editor.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    };
    InstalledKey setup(std::wstring(kMaker) + L"Scribo\\Driver\\Setup");
    CAULocalData data;
    data.Initialize();
    ASSERT_EQ(data.GetPrinterMap().begin()->first, kDriver) << "the SC-200 comes first in the map";
    auto initialPrinter = [&] {
        std::wstring printer, locale, language;
        CUpdateRefinement::GetPrinterForInitialCheck(&data, printer, locale, language);
        return printer;
    };

    setText(L"DefPrn", L"Office SC-300");
    EXPECT_EQ(initialPrinter(), L"Corvane SC-300") << "DefPrn";
    setText(L"DefPrn", L"");
    setText(L"DefPtPrn", L"Office SC-300");
    EXPECT_EQ(initialPrinter(), L"Corvane SC-300") << "DefPtPrn";
    setText(L"DefPtPrn", L"");
    setup.Text(L"LastInstalledPrinter", L"Office SC-300");
    EXPECT_EQ(initialPrinter(), L"Corvane SC-300") << "LastInstalledPrinter";
    setup.Text(L"LastInstalledPrinter", L"");
    EXPECT_EQ(initialPrinter(), kDriver) << "nothing remembered: the first printer";
    editor.reset();
    RegDeleteKeyW(HKEY_CURRENT_USER, editorKey);
}

TEST_F(LocalDataTest, TheDefaultSelectionComesFromTheFileElseFromTheLocale) {
    CAULocalData data;
    data.Initialize();
    std::wstring printer = L"x", locale, language;
    ASSERT_EQ(data.GetDefaultSelection(printer, locale, language), 0);
    EXPECT_EQ(locale, CAULocalData::LanguageTextForLocale(GetUserDefaultLCID()));
    EXPECT_EQ(language, locale);
    EXPECT_EQ(printer, L"");

    ASSERT_EQ(data.SetDefaultSelection(kDriver, L"1041", L"1041"), 0);
    CAULocalData next;
    next.Initialize();
    ASSERT_EQ(next.GetDefaultSelection(printer, locale, language), 0);
    EXPECT_EQ(printer + L"|" + locale + L"|" + language, std::wstring(kDriver) + L"|1041|1041");
}

}  // namespace
