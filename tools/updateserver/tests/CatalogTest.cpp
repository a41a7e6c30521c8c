// Reading and checking catalog.xml.

#include <gtest/gtest.h>

#include <regex>

#include "Catalog.h"
#include "TestCatalog.h"

namespace {

using updateserver::Catalog;

std::string LoadError(const TestCatalog& folder) {
    std::string error;
    const auto catalog = Catalog::Load(folder.Dir(), error);
    EXPECT_FALSE(catalog) << "the catalog was accepted";
    return error;
}

// The standard catalog with one text replaced.
void WriteEdited(const TestCatalog& folder, const std::string& from, const std::string& to) {
    std::string xml = TestCatalog::StandardXml();
    const std::size_t at = xml.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    folder.WriteCatalog(xml.replace(at, from.size(), to));
}

TEST(Catalog, ReadsModelsSoftwareAndTheUpdater) {
    TestCatalog folder;
    folder.WriteStandard();
    std::string error;
    const auto catalog = Catalog::Load(folder.Dir(), error);
    ASSERT_TRUE(catalog) << error;
    EXPECT_EQ(catalog->Updater().version, "1.2.0");
    EXPECT_EQ(catalog->Updater().display, "1.2");
    ASSERT_EQ(catalog->Models().size(), 2u);
    EXPECT_EQ(catalog->Models()[0].driver, "Corvane SC-200");  // the maker's name and the model by default
    EXPECT_EQ(catalog->Models()[1].driver, "Corvane SC-300 Pro");
    EXPECT_EQ(catalog->Models()[0].packages.size(), 4u);
    EXPECT_EQ(catalog->Software().size(), 3u);
}

TEST(Catalog, FindsModelsByModelOrDriverNameIgnoringCase) {
    TestCatalog folder;
    folder.WriteStandard();
    std::string error;
    const auto catalog = Catalog::Load(folder.Dir(), error);
    ASSERT_TRUE(catalog) << error;
    ASSERT_NE(catalog->FindModel("SC-200"), nullptr);
    EXPECT_EQ(catalog->FindModel("Corvane SC-200"), catalog->FindModel("SC-200"));
    EXPECT_EQ(catalog->FindModel("corvane sc-300 pro")->name, "SC-300");
    EXPECT_EQ(catalog->FindModel("Corvane SC-300"), nullptr);
    EXPECT_EQ(catalog->FindModel(""), nullptr);
}

TEST(Catalog, OffersTheModelsPackagesThenTheFamilyWideOnesForTheSpec) {
    TestCatalog folder;
    folder.WriteStandard();
    std::string error;
    const auto catalog = Catalog::Load(folder.Dir(), error);
    ASSERT_TRUE(catalog) << error;
    const auto ids = [&](const updateserver::CatalogModel* model, const std::string& spec) {
        std::string text;
        for (const auto* p : catalog->Offer(model, spec)) text += p->id + " ";
        return text;
    };
    const auto* sc200 = catalog->FindModel("SC-200");
    EXPECT_EQ(ids(sc200, "ALL_ALL"), "FP-MAIN FP-FONTS FC-TMPL01 ");
    EXPECT_EQ(ids(sc200, "JPN_JPN"), "FP-MAIN ");
    EXPECT_EQ(ids(sc200, "ENU_ALL"), "PP-SCEDIT52 PP-CONTACT13 ");
    EXPECT_EQ(ids(nullptr, "ENU_ALL"), "PP-SCEDIT52 PP-CONTACT13 ");
    EXPECT_EQ(ids(nullptr, "ALL_ALL"), "");
    EXPECT_EQ(ids(sc200, "DEU_ALL"), "");
    EXPECT_EQ(catalog->FindPackage(sc200, "fp-main", "jpn_jpn")->version, "1.06");
    EXPECT_EQ(catalog->FindPackage(catalog->FindModel("SC-300"), "FP-FONTS", "ALL_ALL"), nullptr);
}

TEST(Catalog, RefusesCatalogsThatWouldMisleadTheUpdater) {
    TestCatalog folder;
    folder.WriteStandard();

    folder.WriteFile("catalog.xml", "<Catalog><Updater version='1'");
    EXPECT_NE(LoadError(folder).find("line 1"), std::string::npos);

    WriteEdited(folder, R"(<Updater version="1.2.0" display="1.2" file="updater/ScUpdater-1.2.0.zip"/>)", "");
    EXPECT_NE(LoadError(folder).find("<Updater> is missing"), std::string::npos);

    WriteEdited(folder, "SC-200/SC-200_FP-FONTS_ALL_ALL.pdz", "SC-200/FONTS.pdz");
    EXPECT_NE(LoadError(folder).find("does not exist"), std::string::npos);

    // The updater looks for the package beside its description package, under the same name.
    folder.WriteFile("SC-200/FONTS.pdz", "x");
    EXPECT_NE(LoadError(folder).find("must lie beside"), std::string::npos);

    WriteEdited(folder, R"(spec="JPN_JPN" version="1.06")", R"(spec="ALL_ALL" version="1.06")");
    EXPECT_NE(LoadError(folder).find("listed twice"), std::string::npos);

    // A model package that also appears among the family-wide ones.
    WriteEdited(folder, R"(id="FP-FONTS" category="FIRM" spec="ALL_ALL")",
                R"(id="PP-SCEDIT52" category="PCS" spec="JPN_ALL")");
    EXPECT_NE(LoadError(folder).find("listed twice"), std::string::npos);

    WriteEdited(folder, "updater/ScUpdater-1.2.0.zip", "../ScUpdater-1.2.0.zip");
    EXPECT_NE(LoadError(folder).find("not a relative path"), std::string::npos);

    WriteEdited(folder, R"(<Model name="SC-300" driver="Corvane SC-300 Pro">)",
                R"(<Model name="SC-300" driver="Corvane SC-200">)");
    EXPECT_NE(LoadError(folder).find("already used by model SC-200"), std::string::npos);

    WriteEdited(folder, R"(version="2.01")", R"(version="")");
    EXPECT_NE(LoadError(folder).find("\"version\" is missing or empty"), std::string::npos);
}

TEST(Catalog, RefusesTwoFilesThatWouldLandUnderOneNameInTheDownloadFolder) {
    TestCatalog folder;
    folder.WriteStandard();
    folder.WriteFile("SC-300/SC-200_FP-MAIN_ALL_ALL.zip", "d");
    folder.WriteFile("SC-300/SC-200_FP-MAIN_ALL_ALL.pdz", "p");
    WriteEdited(
        folder,
        R"(description="SC-300/SC-300_FP-MAIN_ALL_ALL.zip" package="SC-300/SC-300_FP-MAIN_ALL_ALL.pdz")",
        R"(description="SC-300/SC-200_FP-MAIN_ALL_ALL.zip" package="SC-300/SC-200_FP-MAIN_ALL_ALL.pdz")");
    const std::string error = LoadError(folder);
    EXPECT_TRUE(
        std::regex_search(error, std::regex("file name \"SC-200_FP-MAIN_ALL_ALL.zip\" is already used")))
        << error;
}

TEST(IsSafeRelativePath, AcceptsOnlyPathsBelowTheFolder) {
    using updateserver::IsSafeRelativePath;
    EXPECT_TRUE(IsSafeRelativePath("a.zip"));
    EXPECT_TRUE(IsSafeRelativePath("SC-200/a b.zip"));
    EXPECT_TRUE(IsSafeRelativePath("..a/b..zip"));
    EXPECT_FALSE(IsSafeRelativePath(""));
    EXPECT_FALSE(IsSafeRelativePath("/etc/passwd"));
    EXPECT_FALSE(IsSafeRelativePath("../catalog.xml"));
    EXPECT_FALSE(IsSafeRelativePath("a/../../b"));
    EXPECT_FALSE(IsSafeRelativePath("a/./b"));
    EXPECT_FALSE(IsSafeRelativePath("a//b"));
    EXPECT_FALSE(IsSafeRelativePath("a/"));
    EXPECT_FALSE(IsSafeRelativePath("a\\..\\b"));
    EXPECT_FALSE(IsSafeRelativePath(std::string("a\0b", 3)));
}

}  // namespace
