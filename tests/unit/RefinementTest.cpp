// Refining the server's offer against what is installed, the queries that build the offer, the
// updater's version comparison and the printer of the first check.
//
// The PC is described to the refinement through its sources (installed rows per printer, the
// installed-application test, the transfer printer and the user's country), as the local data,
// the registry and the spooler would give them; the country group comes from the real resource
// library.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "TestSupport.h"
#include "app/UpdateRefinement.h"
#include "local/AULocalData.h"
#include "server/AUServerData.h"

namespace {

using namespace testing_support;

constexpr wchar_t kPrinter[] = L"Corvane SC-200";
constexpr wchar_t kOtherPrinter[] = L"Corvane SC-300";

SAUExtFirmInfo Entry(const std::wstring& id, const std::wstring& spec, const std::wstring& category,
                     const std::wstring& version = L"", const std::wstring& name = L"SC-200") {
    SAUExtFirmInfo info;
    info.strName = name;
    info.strId = id;
    info.strSpec = spec;
    info.strCategory = category;
    info.strInstalledVersion = version;
    return info;
}

std::wstring KeyOf(const SAUExtFirmInfo& info) { return info.strId + L"_" + info.strSpec; }

ComponentList ListOf(std::initializer_list<SAUExtFirmInfo> entries) {
    ComponentList list;
    for (const SAUExtFirmInfo& entry : entries) list[KeyOf(entry)] = entry;
    return list;
}

// What refinement knows of this PC.
struct SimulatedInstall {
    ComponentList installed;          // the printer's rows
    std::set<std::wstring> packages;  // applications installed on the PC
    std::wstring transferPrinter;     // empty: no port that takes firmware
    std::wstring country = L"USA";

    CUpdateRefinement Refinement() const {
        CUpdateRefinement::Sources sources;
        PrinterMap printers;
        printers[kPrinter] = installed;
        printers[kOtherPrinter];
        sources.printers = [printers] { return printers; };
        std::wstring port = transferPrinter;
        sources.transferPrinter = [port](const std::wstring& driver) {
            return driver == kPrinter ? port : std::wstring();
        };
        std::set<std::wstring> apps = packages;
        sources.isPackageInstalled = [apps](const std::wstring& code) { return apps.count(code) > 0; };
        std::wstring user = country;
        sources.userCountry = [user] { return user; };
        return CUpdateRefinement(std::move(sources));
    }
    ComponentList Refine(const ComponentList& offer, const std::wstring& printer = kPrinter) const {
        RefinedList refined;
        EXPECT_EQ(Refinement().GetRefinedList(printer, offer, refined), 0);
        EXPECT_EQ(refined.size(), 1u);
        return refined[printer];
    }
};

// How one offered component ends in the refined list.
enum class Outcome { Update, NewInstall, Dropped };
struct Expected {
    Outcome outcome;
    std::wstring installedVersion;  // for an update
};
Expected Update(const std::wstring& installedVersion) { return {Outcome::Update, installedVersion}; }
const Expected kNewInstall{Outcome::NewInstall, L"0"};
const Expected kDropped{Outcome::Dropped, L""};

struct OneOfferCase {
    const char* what;
    SimulatedInstall pc;
    SAUExtFirmInfo offered;
    Expected expected;
};

void ExpectOutcome(const OneOfferCase& c) {
    SCOPED_TRACE(c.what);
    const ComponentList refined = c.pc.Refine(ListOf({c.offered}));
    ASSERT_EQ(refined.size(), 1u);
    if (c.expected.outcome == Outcome::Dropped) {
        ASSERT_EQ(refined.count(L"_"), 1u) << "a dropped offer leaves only the record without identifier";
        EXPECT_FALSE(CUpdateRefinement::IsListedRecord(refined.at(L"_")));
        return;
    }
    const std::wstring key = KeyOf(c.offered);
    ASSERT_EQ(refined.count(key), 1u);
    const SAUExtFirmInfo& record = refined.at(key);
    EXPECT_TRUE(CUpdateRefinement::IsListedRecord(record));
    EXPECT_EQ(record.nNewInstall, c.expected.outcome == Outcome::NewInstall ? 1 : 0);
    EXPECT_EQ(record.strInstalledVersion, c.expected.installedVersion);
}

SimulatedInstall Installed(std::initializer_list<SAUExtFirmInfo> rows, std::set<std::wstring> packages = {},
                           std::wstring country = L"USA") {
    SimulatedInstall pc;
    pc.installed = ListOf(rows);
    pc.packages = std::move(packages);
    pc.country = std::move(country);
    return pc;
}

SimulatedInstall WithPackages(std::set<std::wstring> packages) { return Installed({}, std::move(packages)); }

TEST(RefinementMatching, AnOfferUpdatesTheInstalledEntryOfItsKeyOrOfItsRegion) {
    const SAUExtFirmInfo editorJapan = Entry(L"PP-SCEDIT52", L"JPN_JPN", L"PCS", L"5.2.1");
    const SAUExtFirmInfo bookAustralia = Entry(L"PP-CONTACT13", L"ENU_AUS", L"PCS", L"1.3.0");
    const SAUExtFirmInfo bookUsa = Entry(L"PP-CONTACT13", L"ENU_USA", L"PCS", L"1.3.5");
    const std::vector<OneOfferCase> cases = {
        {"the same key", Installed({editorJapan}), Entry(L"PP-SCEDIT52", L"JPN_JPN", L"PCS"),
         Update(L"5.2.1")},
        {"_ALL: same code and language", Installed({editorJapan}), Entry(L"PP-SCEDIT52", L"JPN_ALL", L"PCS"),
         Update(L"5.2.1")},
        {"_ALL of another language, editor 5.2 installed: new", Installed({editorJapan}, {L"PP-SCEDIT52"}),
         Entry(L"PP-SCEDIT52", L"ENU_ALL", L"PCS"), kNewInstall},
        {"_ALL of another language, nothing installed", Installed({editorJapan}),
         Entry(L"PP-SCEDIT52", L"ENU_ALL", L"PCS"), kDropped},
        {"_ASA in an Asian country", Installed({editorJapan}, {}, L"JPN"),
         Entry(L"PP-SCEDIT52", L"JPN_ASA", L"PCS"), Update(L"5.2.1")},
        {"_NAS in an Asian country", Installed({editorJapan}, {}, L"JPN"),
         Entry(L"PP-SCEDIT52", L"JPN_NAS", L"PCS"), kDropped},
        {"_NAS elsewhere", Installed({bookUsa}), Entry(L"PP-CONTACT13", L"ENU_NAS", L"PCS"),
         Update(L"1.3.5")},
        {"_ASA elsewhere", Installed({bookUsa}), Entry(L"PP-CONTACT13", L"ENU_ASA", L"PCS"), kDropped},
        {"another country is no region", Installed({bookUsa}), Entry(L"PP-CONTACT13", L"ENU_GBR", L"PCS"),
         kDropped},
        {"the region's first installed entry in key order", Installed({bookUsa, bookAustralia}),
         Entry(L"PP-CONTACT13", L"ENU_ALL", L"PCS"), Update(L"1.3.0")},
        {"firmware the printer reports", Installed({Entry(L"FP-MAIN", L"JPN_JPN", L"FIRM", L"1.04")}),
         Entry(L"FP-MAIN", L"JPN_JPN", L"FIRM"), Update(L"1.04")},
        {"FP- firmware under a key the printer did not report",
         Installed({Entry(L"FP-MAIN", L"JPN_JPN", L"FIRM", L"1.04")}), Entry(L"FP-MAIN", L"JPN_ALL", L"FIRM"),
         kDropped},
        {"other firmware matches its region", Installed({Entry(L"FC-FONT", L"JPN_JPN", L"FIRM", L"2.0")}),
         Entry(L"FC-FONT", L"JPN_ALL", L"FIRM"), Update(L"2.0")},
    };
    for (const OneOfferCase& c : cases) ExpectOutcome(c);
}

TEST(RefinementSuperseded, ANewerInstalledEditionHidesTheOlderOne) {
    const SAUExtFirmInfo editor50 = Entry(L"PP-SCEDIT50", L"JPN_JPN", L"PCS", L"5.0.3");
    const SAUExtFirmInfo editor51 = Entry(L"PP-SCEDIT51", L"JPN_JPN", L"PCS", L"5.1.0");
    const SAUExtFirmInfo editor52 = Entry(L"PP-SCEDIT52", L"JPN_JPN", L"PCS", L"5.2.1");
    const SAUExtFirmInfo book11 = Entry(L"PP-CONTACT11", L"ENU_USA", L"PCS", L"1.1");
    const SAUExtFirmInfo book12 = Entry(L"PP-CONTACT12", L"ENU_USA", L"PCS", L"1.2");
    const SAUExtFirmInfo book13 = Entry(L"PP-CONTACT13", L"ENU_USA", L"PCS", L"1.3");
    // A template row of the same code carries no category: it supersedes nothing.
    SAUExtFirmInfo notAnApplication = editor52;
    notAnApplication.strCategory.clear();
    const std::vector<OneOfferCase> cases = {
        {"5.0 under its own key while 5.2 is installed",
         Installed({editor50, editor52}, {L"PP-SCEDIT50", L"PP-SCEDIT52"}),
         Entry(L"PP-SCEDIT50", L"JPN_JPN", L"PCS"), kDropped},
        {"5.0 under a region key while 5.2 is installed", Installed({editor50, editor52}, {L"PP-SCEDIT50"}),
         Entry(L"PP-SCEDIT50", L"JPN_ALL", L"PCS"), kDropped},
        {"5.0 while 5.1 is installed", Installed({editor50, editor51}, {L"PP-SCEDIT50"}),
         Entry(L"PP-SCEDIT50", L"JPN_JPN", L"PCS"), kDropped},
        {"5.1 while 5.2 is installed", Installed({editor51, editor52}, {L"PP-SCEDIT51", L"PP-SCEDIT52"}),
         Entry(L"PP-SCEDIT51", L"JPN_JPN", L"PCS"), kDropped},
        {"5.1 beside 5.0 alone is offered new", Installed({editor50}, {L"PP-SCEDIT50"}),
         Entry(L"PP-SCEDIT51", L"JPN_JPN", L"PCS"), kNewInstall},
        {"address book 1.1 while 1.2 is installed", Installed({book11, book12}, {L"PP-CONTACT11"}),
         Entry(L"PP-CONTACT11", L"ENU_USA", L"PCS"), kDropped},
        {"address book 1.1 while 1.3 is installed", Installed({book11, book13}, {L"PP-CONTACT11"}),
         Entry(L"PP-CONTACT11", L"ENU_USA", L"PCS"), kDropped},
        {"address book 1.2 while 1.3 is installed", Installed({book12, book13}, {L"PP-CONTACT12"}),
         Entry(L"PP-CONTACT12", L"ENU_USA", L"PCS"), kDropped},
        {"address book 1.2 beside 1.1 alone is offered new", Installed({book11}, {L"PP-CONTACT11"}),
         Entry(L"PP-CONTACT12", L"ENU_USA", L"PCS"), kNewInstall},
        {"the newest edition is never superseded", Installed({editor50, editor52}),
         Entry(L"PP-SCEDIT52", L"JPN_JPN", L"PCS"), Update(L"5.2.1")},
        {"only an application row supersedes", Installed({editor50, notAnApplication}),
         Entry(L"PP-SCEDIT50", L"JPN_JPN", L"PCS"), Update(L"5.0.3")},
    };
    for (const OneOfferCase& c : cases) ExpectOutcome(c);
}

TEST(RefinementApplicability, WithoutAnInstalledMatchOnlyTheTableDecides) {
    SimulatedInstall withPort;
    withPort.transferPrinter = L"SC-200 on COM5";
    SimulatedInstall everything = WithPackages(
        {L"PP-SCEDIT50", L"PP-SCEDIT51", L"PP-SCEDIT52", L"PP-CONTACT11", L"PP-CONTACT12", L"PP-CONTACT13"});
    everything.transferPrinter = L"SC-200 on COM5";
    auto pcs = [](const wchar_t* id) { return Entry(id, L"ENU_USA", L"PCS"); };
    const std::vector<OneOfferCase> cases = {
        {"FC- firmware, printer with a transfer port", withPort, Entry(L"FC-FONT", L"ALL_ALL", L"FIRM"),
         kNewInstall},
        {"FC- firmware, printer without a transfer port", SimulatedInstall{},
         Entry(L"FC-FONT", L"ALL_ALL", L"FIRM"), kDropped},
        {"FC- code outside the firmware category", everything, pcs(L"FC-FONT"), kDropped},
        {"FP- firmware never as a new installation", everything, Entry(L"FP-MAIN", L"ALL_ALL", L"FIRM"),
         kDropped},
        {"5.0 with 5.0", WithPackages({L"PP-SCEDIT50"}), pcs(L"PP-SCEDIT50"), kNewInstall},
        {"5.0 with 5.1 only", WithPackages({L"PP-SCEDIT51"}), pcs(L"PP-SCEDIT50"), kDropped},
        {"5.1 with 5.1", WithPackages({L"PP-SCEDIT51"}), pcs(L"PP-SCEDIT51"), kNewInstall},
        {"5.1 with 5.0", WithPackages({L"PP-SCEDIT50"}), pcs(L"PP-SCEDIT51"), kNewInstall},
        {"5.1 with 5.2 only", WithPackages({L"PP-SCEDIT52"}), pcs(L"PP-SCEDIT51"), kDropped},
        {"5.2 with 5.2", WithPackages({L"PP-SCEDIT52"}), pcs(L"PP-SCEDIT52"), kNewInstall},
        {"5.2 with 5.1", WithPackages({L"PP-SCEDIT51"}), pcs(L"PP-SCEDIT52"), kNewInstall},
        {"5.2 with 5.0", WithPackages({L"PP-SCEDIT50"}), pcs(L"PP-SCEDIT52"), kNewInstall},
        {"5.2 with only an address book", WithPackages({L"PP-CONTACT13"}), pcs(L"PP-SCEDIT52"), kDropped},
        {"PC- content with 5.0", WithPackages({L"PP-SCEDIT50"}), pcs(L"PC-LABELS"), kNewInstall},
        {"PC- content with 5.2 only", WithPackages({L"PP-SCEDIT52"}), pcs(L"PC-LABELS"), kDropped},
        {"1.1 with 1.1", WithPackages({L"PP-CONTACT11"}), pcs(L"PP-CONTACT11"), kNewInstall},
        {"1.1 with 1.2 only", WithPackages({L"PP-CONTACT12"}), pcs(L"PP-CONTACT11"), kDropped},
        {"1.2 with 1.2", WithPackages({L"PP-CONTACT12"}), pcs(L"PP-CONTACT12"), kNewInstall},
        {"1.2 with 1.1", WithPackages({L"PP-CONTACT11"}), pcs(L"PP-CONTACT12"), kNewInstall},
        {"1.2 with 1.3 only", WithPackages({L"PP-CONTACT13"}), pcs(L"PP-CONTACT12"), kDropped},
        {"1.3 with 1.3", WithPackages({L"PP-CONTACT13"}), pcs(L"PP-CONTACT13"), kNewInstall},
        {"1.3 with 1.2", WithPackages({L"PP-CONTACT12"}), pcs(L"PP-CONTACT13"), kNewInstall},
        {"1.3 with 1.1", WithPackages({L"PP-CONTACT11"}), pcs(L"PP-CONTACT13"), kNewInstall},
        {"1.3 with nothing", SimulatedInstall{}, pcs(L"PP-CONTACT13"), kDropped},
        {"any other application", everything, pcs(L"PP-DEVSETUP"), kDropped},
    };
    for (const OneOfferCase& c : cases) ExpectOutcome(c);
}

TEST(RefinementList, RecordsTakeTheOffersFieldsTheInstalledVersionAndASequenceInKeyOrder) {
    SimulatedInstall pc =
        Installed({Entry(L"PP-SCEDIT52", L"JPN_JPN", L"PCS", L"5.2.1", kPrinter)}, {L"PP-SCEDIT52"});
    SAUExtFirmInfo update = Entry(L"PP-SCEDIT52", L"JPN_ALL", L"PCS", L"9.9", L"SC-200 model");
    update.strURL = L"/packages/editor52.zip";
    update.strFilePath = L"C:\\old\\editor52.zip";
    update.nSequence = 77;
    SAUExtFirmInfo fresh = Entry(L"PP-SCEDIT52", L"ENU_ALL", L"PCS", L"", L"SC-200 model");
    const ComponentList refined = pc.Refine(ListOf({update, fresh}));

    ASSERT_EQ(refined.size(), 2u);
    const SAUExtFirmInfo& asUpdate = refined.at(L"PP-SCEDIT52_JPN_ALL");
    EXPECT_EQ(asUpdate.nNewInstall, 0);
    EXPECT_EQ(asUpdate.strName, L"SC-200 model") << "the offer's model name, not the driver name";
    EXPECT_EQ(asUpdate.strSpec, L"JPN_ALL");
    EXPECT_EQ(asUpdate.strCategory, L"PCS");
    EXPECT_EQ(asUpdate.strInstalledVersion, L"5.2.1");
    EXPECT_EQ(asUpdate.strURL, L"") << "download details come later, for the refined record";
    EXPECT_EQ(asUpdate.strFilePath, L"");
    const SAUExtFirmInfo& asNew = refined.at(L"PP-SCEDIT52_ENU_ALL");
    EXPECT_EQ(asNew.nNewInstall, 1);
    EXPECT_EQ(asNew.strName, L"SC-200 model");

    // "ENU_ALL" comes before "JPN_ALL": numbered in that order, counting on across calls.
    EXPECT_GT(asNew.nSequence, 0);
    EXPECT_EQ(asUpdate.nSequence, asNew.nSequence + 1);
    const ComponentList again = pc.Refine(ListOf({update}));
    EXPECT_EQ(again.at(L"PP-SCEDIT52_JPN_ALL").nSequence, asUpdate.nSequence + 1);
}

TEST(RefinementList, OffersThatAreNeitherUpdatesNorInstallableLeaveOneRecordWithoutIdentifier) {
    SimulatedInstall pc = WithPackages({L"PP-SCEDIT52"});
    const ComponentList refined = pc.Refine(
        ListOf({Entry(L"PP-DEVSETUP", L"ALL_ALL", L"PCS"), Entry(L"PP-SCEDIT52", L"JPN_ALL", L"PCS"),
                Entry(L"PP-WIREMARK", L"ALL_ALL", L"PCS")}));
    ASSERT_EQ(refined.size(), 2u);
    ASSERT_EQ(refined.count(L"_"), 1u);
    const SAUExtFirmInfo& leftover = refined.at(L"_");
    EXPECT_GT(leftover.nSequence, refined.at(L"PP-SCEDIT52_JPN_ALL").nSequence) << "the last one wins";
    EXPECT_EQ(leftover.nNewInstall, 0);
    EXPECT_TRUE(leftover.strName.empty() && leftover.strId.empty() && leftover.strSpec.empty() &&
                leftover.strInstalledVersion.empty() && leftover.strCategory.empty() &&
                leftover.strURL.empty() && leftover.strFilePath.empty());
}

TEST(RefinementList, TwoOffersOfTheSameIdentifierAndRegionEndAsOneTheLaterWinning) {
    SimulatedInstall pc = WithPackages({L"PP-SCEDIT52"});
    ComponentList offer;
    offer[L"a"] = Entry(L"PP-SCEDIT52", L"JPN_JPN", L"PCS", L"", L"first");
    offer[L"b"] = Entry(L"PP-SCEDIT52", L"JPN_JPN", L"PCS", L"", L"second");
    const ComponentList refined = pc.Refine(offer);
    ASSERT_EQ(refined.size(), 1u);
    EXPECT_EQ(refined.at(L"PP-SCEDIT52_JPN_JPN").strName, L"second");
}

TEST(RefinementList, OnlyThePrintersEntryIsReplacedAndAnUnknownPrinterGetsOnlyNewInstallations) {
    SimulatedInstall pc = Installed({Entry(L"PP-SCEDIT52", L"JPN_JPN", L"PCS", L"5.2.1")}, {L"PP-SCEDIT52"});
    RefinedList refined;
    refined[kOtherPrinter][L"PP-CONTACT13_ENU_USA"] = Entry(L"PP-CONTACT13", L"ENU_USA", L"PCS");
    refined[kPrinter][L"stale"] = Entry(L"PP-OLD", L"ENU_USA", L"PCS");
    const ComponentList offer = ListOf({Entry(L"PP-SCEDIT52", L"JPN_JPN", L"PCS")});

    TraceCapture trace;
    EXPECT_EQ(pc.Refinement().GetRefinedList(kPrinter, offer, refined), 0);
    EXPECT_EQ(trace.Lines(),
              (std::vector<std::wstring>{L"Enter : CAUManager::GetRefinedList()", L"Refined List Size : 2",
                                         L"Exit : CAUManager::GetRefinedList()"}));
    ASSERT_EQ(refined.size(), 2u);
    EXPECT_EQ(refined[kOtherPrinter].size(), 1u);
    ASSERT_EQ(refined[kPrinter].size(), 1u);
    EXPECT_EQ(refined[kPrinter].at(L"PP-SCEDIT52_JPN_JPN").nNewInstall, 0);

    // A printer the local data does not know has nothing installed.
    EXPECT_EQ(pc.Refinement().GetRefinedList(L"Corvane Unknown", offer, refined), 0);
    ASSERT_EQ(refined.count(L"Corvane Unknown"), 1u);
    EXPECT_EQ(refined[L"Corvane Unknown"].at(L"PP-SCEDIT52_JPN_JPN").nNewInstall, 1);

    // Nothing offered: the printer's entry is there, and empty.
    EXPECT_EQ(pc.Refinement().GetRefinedList(kPrinter, {}, refined), 0);
    EXPECT_TRUE(refined.at(kPrinter).empty());
}

TEST(RefinementList, SourcesThatAreMissingCountAsNothingInstalled) {
    CUpdateRefinement bare{CUpdateRefinement::Sources{}};
    RefinedList refined;
    bare.GetRefinedList(
        kPrinter, ListOf({Entry(L"PP-SCEDIT52", L"JPN_JPN", L"PCS"), Entry(L"FC-FONT", L"ALL_ALL", L"FIRM")}),
        refined);
    ASSERT_EQ(refined[kPrinter].size(), 1u);
    EXPECT_EQ(refined[kPrinter].count(L"_"), 1u);
}

TEST(RefinementRegion, TheAsianGroupComesFromTheResourceLibrary) {
    EXPECT_EQ(CUpdateRefinement::RegionGroup(L"JPN"), L"ASA");
    EXPECT_EQ(CUpdateRefinement::RegionGroup(L"AUS"), L"ASA");
    EXPECT_EQ(CUpdateRefinement::RegionGroup(L"USA"), L"NAS");
    EXPECT_EQ(CUpdateRefinement::RegionGroup(L"JP"), L"NAS") << "whole entries only";
    EXPECT_EQ(CUpdateRefinement::RegionGroup(L"jpn"), L"NAS");
    EXPECT_EQ(CUpdateRefinement::RegionGroup(L""), L"NAS");
}

// ---------------------------------------------------------------------------------------------

TEST(UpgraderVersions, TheRightSideIsNewerOnlyWhereItsOwnFieldsSaySo) {
    struct Case {
        const wchar_t* left;
        const wchar_t* right;
        int expected;
    };
    const Case cases[] = {
        {L"1.2", L"1.2.1", 1},
        {L"1.2.1", L"1.2", 0},
        {L"2", L"10", 1},
        {L"10", L"2", -1},
        {L"1.2", L"1.2", 0},
        {L"1.10", L"1.9", -1},
        {L"1.9", L"1.10", 1},
        {L"1.2.0", L"1.2", 0},
        {L"1.2", L"1.2.0", 0},
        {L"2.1.0", L"2.0.9", -1},
        {L"", L"1", 1},
        {L"1", L"", 0},
        {L"", L"", 0},
        {L"1..3", L"1.0.4", 1},
        {L"1.0.4", L"1..9", 0},
        {L"1.2b", L"1.3", 1},
        {L"x", L"1", 1},
        {L"007", L"7", 0},
        {L"4294967296", L"4294967297", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CUpdateRefinement::CompareUpgraderVersions(c.left, c.right), c.expected)
            << "left " << testing::PrintToString(std::wstring(c.left)) << " right "
            << testing::PrintToString(std::wstring(c.right));

    TraceCapture trace;
    CUpdateRefinement::CompareUpgraderVersions(L"2.0.1", L"2.1");
    EXPECT_EQ(trace.Lines(), (std::vector<std::wstring>{L"Enter : CAUManager::CompareUpgraderVersions()",
                                                        L"Left Side Version : 2.0.1 Right Side Version : 2.1",
                                                        L"Exit : CAUManager::CompareUpgraderVersions()"}));
}

// ---------------------------------------------------------------------------------------------

// The version check as the server exchange gives it: a result code and the server's entries
// for the key, keyed by identifier and language-region.
class ScriptedServerData : public CAUServerData {
  public:
    ServerResult DoVersionCheck(ComponentList& result, const std::wstring& key,
                                const std::wstring& printer) override {
        asked.push_back(key + L"|" + printer);
        result = answer;
        return code;
    }
    ComponentList answer;
    ServerResult code = ServerResult::Success;
    std::vector<std::wstring> asked;
};

TEST(RefinementQueries, EachViewKeepsItsOwnKindOfEntryAndMergesByKey) {
    ScriptedServerData server;
    SAUExtFirmInfo editor = Entry(L"PP-SCEDIT52", L"JPN_ALL", L"PCS", L"5.3", L"SC-200");
    editor.strURL = L"/editor.zip";
    server.answer = ListOf({editor, Entry(L"PC-LABELS", L"JPN_ALL", L"PCS"),
                            Entry(L"PS-OFFICE", L"JPN_ALL", L"PCS"), Entry(L"FP-MAIN", L"JPN_ALL", L"PCS"),
                            Entry(L"PP-ODD", L"JPN_ALL", L"FIRM"), Entry(L"FP-MAIN", L"JPN_JPN", L"FIRM"),
                            Entry(L"FC-FONT", L"JPN_JPN", L"FIRM"), Entry(L"XP-OTHER", L"JPN_ALL", L"PCS")});

    ComponentList software;
    software[L"PP-SCEDIT52_JPN_ALL"] = Entry(L"PP-SCEDIT52", L"JPN_ALL", L"PCS", L"5.2");
    software[L"PP-CONTACT13_JPN_ALL"] = Entry(L"PP-CONTACT13", L"JPN_ALL", L"PCS");
    EXPECT_EQ(CUpdateRefinement::QueryComponents(server, L"JPN_ALL", kPrinter, false, software),
              ServerResult::Success);
    EXPECT_EQ(server.asked, std::vector<std::wstring>{std::wstring(L"JPN_ALL|") + kPrinter});
    std::vector<std::wstring> keys;
    for (const auto& [key, info] : software) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::wstring>{L"PC-LABELS_JPN_ALL", L"PP-CONTACT13_JPN_ALL",
                                               L"PP-SCEDIT52_JPN_ALL", L"PS-OFFICE_JPN_ALL"}));
    EXPECT_EQ(software.at(L"PP-SCEDIT52_JPN_ALL").strInstalledVersion, L"5.3") << "the later answer wins";
    EXPECT_EQ(software.at(L"PP-SCEDIT52_JPN_ALL").strURL, L"/editor.zip");

    ComponentList firmware;
    EXPECT_EQ(CUpdateRefinement::QueryComponents(server, L"JPN_JPN", kPrinter, true, firmware),
              ServerResult::Success);
    ASSERT_EQ(firmware.size(), 1u);
    EXPECT_EQ(firmware.count(L"FP-MAIN_JPN_JPN"), 1u);

    ComponentList firmwareOnly;
    EXPECT_EQ(CUpdateRefinement::QueryFirmware(server, L"JPN_JPN", kPrinter, firmwareOnly),
              ServerResult::Success);
    EXPECT_EQ(firmwareOnly.size(), 1u);
    EXPECT_EQ(firmwareOnly.count(L"FP-MAIN_JPN_JPN"), 1u);
}

// Within one check a key is asked of the server once: a key named again takes the answer it had,
// filtered for the view that asks; one that was not answered is asked again.
TEST(RefinementQueries, AKeyAskedAgainInOneCheckTakesTheAnswerItHad) {
    ScriptedServerData server;
    CVersionQueries queries(server, kPrinter);
    server.answer =
        ListOf({Entry(L"FP-MAIN", L"ENU_ALL", L"FIRM"), Entry(L"PP-SCEDIT52", L"ENU_ALL", L"PCS")});
    ComponentList firmware;
    ASSERT_EQ(queries.Query(L"ENU_ALL", true, firmware), ServerResult::Success);
    server.answer = ListOf({Entry(L"FP-FONTS", L"ENU_NAS", L"FIRM")});
    ASSERT_EQ(queries.Query(L"ENU_NAS", true, firmware), ServerResult::Success);
    // Asked again, the server would now give this: the check keeps the answer it had.
    server.answer = ListOf({Entry(L"FC-OTHER", L"ENU_ALL", L"FIRM")});
    ASSERT_EQ(queries.Query(L"ENU_ALL", true, firmware), ServerResult::Success);
    const std::wstring printer = kPrinter;
    EXPECT_EQ(server.asked, (std::vector<std::wstring>{L"ENU_ALL|" + printer, L"ENU_NAS|" + printer}));
    std::vector<std::wstring> keys;
    for (const auto& [key, info] : firmware) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::wstring>{L"FP-FONTS_ENU_NAS", L"FP-MAIN_ENU_ALL"}));

    ComponentList software;
    ASSERT_EQ(queries.Query(L"ENU_ALL", false, software), ServerResult::Success);
    ASSERT_EQ(software.size(), 1u);
    EXPECT_EQ(software.count(L"PP-SCEDIT52_ENU_ALL"), 1u);
    EXPECT_EQ(server.asked.size(), 2u);

    server.code = ServerResult::AnswerUnusable;
    ComponentList list;
    EXPECT_EQ(queries.Query(L"JPN_ALL", false, list), ServerResult::AnswerUnusable);
    EXPECT_TRUE(list.empty());
    server.code = ServerResult::Success;
    server.answer = ListOf({Entry(L"PP-CONTACT13", L"JPN_ALL", L"PCS")});
    EXPECT_EQ(queries.Query(L"JPN_ALL", false, list), ServerResult::Success);
    EXPECT_EQ(server.asked.size(), 4u) << "a key that was not answered is asked again";
    EXPECT_EQ(list.count(L"PP-CONTACT13_JPN_ALL"), 1u);
}

TEST(RefinementQueries, AFailedCheckLeavesTheServerListAsItWasAndGivesItsCode) {
    ScriptedServerData server;
    server.answer = ListOf({Entry(L"PP-SCEDIT52", L"JPN_ALL", L"PCS")});
    for (ServerResult code :
         {ServerResult::Failed, ServerResult::Cancelled, ServerResult::ProxyAuthRefused}) {
        server.code = code;
        ComponentList list = ListOf({Entry(L"PP-CONTACT13", L"JPN_ALL", L"PCS")});
        EXPECT_EQ(CUpdateRefinement::QueryComponents(server, L"JPN_ALL", kPrinter, false, list), code);
        EXPECT_EQ(list.size(), 1u);
        EXPECT_EQ(CUpdateRefinement::QueryFirmware(server, L"JPN_JPN", kPrinter, list), code);
        EXPECT_EQ(list.size(), 1u);
    }
}

// ---------------------------------------------------------------------------------------------

// The local data as its printer map and its stored default selection give it.
class SelectionLocalData : public CAULocalData {
  public:
    SelectionLocalData(const std::vector<std::wstring>& printers, std::wstring remembered)
        : remembered_(std::move(remembered)) {
        for (const std::wstring& printer : printers) m_mapPrinters[printer];
    }
    int GetDefaultSelection(std::wstring& printer, std::wstring& locale, std::wstring& language) override {
        printer = remembered_;
        locale = L"1041";
        language = L"1025";
        return 0;
    }

  private:
    std::wstring remembered_;
};

TEST(InitialCheckPrinter, ARememberedPrinterThatIsGoneGivesWayToTheFirstInstalledOne) {
    struct Case {
        const char* what;
        std::vector<std::wstring> installed;
        const wchar_t* remembered;
        const wchar_t* expected;
        bool traced;
    };
    const Case cases[] = {
        {"remembered and installed", {kOtherPrinter, kPrinter}, kOtherPrinter, kOtherPrinter, false},
        {"remembered but gone", {kOtherPrinter, kPrinter}, L"Corvane Gone", kPrinter, true},
        {"nothing remembered", {kOtherPrinter, kPrinter}, L"", kPrinter, false},
        {"remembered, no printer installed", {}, L"Corvane Gone", L"Corvane Gone", false},
        {"nothing at all", {}, L"", L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SelectionLocalData local(c.installed, c.remembered);
        TraceCapture trace;
        std::wstring printer, locale, language;
        CUpdateRefinement::GetPrinterForInitialCheck(&local, printer, locale, language);
        EXPECT_EQ(printer, c.expected);
        EXPECT_EQ(locale, L"1041");
        EXPECT_EQ(language, L"1025");
        EXPECT_EQ(trace.Contains(L"Invalid Default Printer in config. First local printer will be used."),
                  c.traced);
    }

    std::wstring printer = L"kept", locale, language;
    CUpdateRefinement::GetPrinterForInitialCheck(nullptr, printer, locale, language);
    EXPECT_EQ(printer, L"kept");
}

}  // namespace
