// Building catalog folders: the demo catalog of the build, and small catalogs made for each case.

#include <gtest/gtest.h>

#include <algorithm>
#include <pugixml.hpp>

#include "Catalog.h"
#include "CatalogBuilder.h"
#include "Unzip.h"

namespace {

namespace fs = std::filesystem;

std::string TextOf(const std::string& xml, const char* path) {
    pugi::xml_document doc;
    if (!doc.load_string(xml.c_str())) return "<not XML>";
    return doc.first_element_by_path(path).child_value();
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(DemoCatalog, EveryDescriptionPackageHoldsTheLocalisedTextsAndAThumbnail) {
    const fs::path demo = DEMO_CATALOG_DIR;
    std::string error;
    const auto catalog = updateserver::Catalog::Load(demo, error);
    ASSERT_TRUE(catalog) << error;
    ASSERT_NE(catalog->FindModel("Corvane SC-200"), nullptr);
    EXPECT_EQ(catalog->FindModel("Corvane SC-200")->name, "SC-200");

    std::vector<const updateserver::CatalogPackage*> all;
    for (const auto& model : catalog->Models()) {
        for (const auto& p : model.packages) all.push_back(&p);
    }
    for (const auto& p : catalog->Software()) all.push_back(&p);
    ASSERT_GE(all.size(), 10u);
    for (const auto* p : all) {
        const fs::path zip = demo / p->description;
        const auto names = UnzipNames(zip);
        ASSERT_FALSE(names.empty()) << zip;
        EXPECT_EQ(names.front(), "data.xml") << zip;
        for (const char* file : {"data_ENG.xml", "data_JPN.xml", "data_ARA.xml"}) {
            EXPECT_TRUE(Contains(names, file)) << zip << " lacks " << file;
        }
        const std::string data = UnzipEntry(zip, "data.xml");
        // The updater finds the package by the type in place of the description's last three characters.
        const std::string type = TextOf(data, "ScriboUpdater/Type");
        EXPECT_EQ(p->package, p->description.substr(0, p->description.size() - 3) + type);
        EXPECT_EQ(TextOf(data, "ScriboUpdater/Version"), p->version);
        const std::string thumbnail = TextOf(data, "ScriboUpdater/Thumbnail");
        EXPECT_TRUE(Contains(names, thumbnail)) << zip << " lacks its thumbnail " << thumbnail;
        EXPECT_EQ(UnzipEntry(zip, thumbnail).substr(0, 8), "\x89PNG\r\n\x1a\n");
        EXPECT_TRUE(UnzipTests(zip)) << zip;
    }
}

TEST(DemoCatalog, TextsAreInTheirLanguageAndFirmwareComesAsAnArchiveOfItsPd3File) {
    const fs::path zip = fs::path(DEMO_CATALOG_DIR) / "SC-200/SC-200_FP-MAIN_ALL_ALL_1.05.zip";
    EXPECT_EQ(TextOf(UnzipEntry(zip, "data.xml"), "ScriboUpdater/Title"), "SC-200 main firmware 1.05");
    EXPECT_EQ(
        TextOf(UnzipEntry(zip, "data_JPN.xml"), "ScriboUpdater/Title"),
        "SC-200 "
        "\xE3\x83\xA1\xE3\x82\xA4\xE3\x83\xB3\xE3\x83\x95\xE3\x82\xA1\xE3\x83\xBC\xE3\x83\xA0\xE3\x82\xA6"
        "\xE3\x82\xA7\xE3\x82\xA2 1.05");
    EXPECT_EQ(TextOf(UnzipEntry(zip, "data_ARA.xml"), "ScriboUpdater/Type"), "pdz");
    EXPECT_EQ(UnzipNames(fs::path(DEMO_CATALOG_DIR) / "SC-200/SC-200_FP-MAIN_ALL_ALL_1.05.pdz"),
              std::vector<std::string>{"SC-200_FP-MAIN_1.05.pd3"});
    EXPECT_EQ(UnzipNames(fs::path(DEMO_CATALOG_DIR) / "updater/ScUpdater-1.0.0.zip"),
              (std::vector<std::string>{"ScUpdater.exe", "ScUpRes.dll"}));
}

class Builder : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = MakeTempDir("mkcatalog");
        WriteWholeFile(root_ / "src/images/pic.png", "\x89PNG\r\n\x1a\nfake");
    }
    void TearDown() override { fs::remove_all(root_); }

    void WriteSource(const std::string& packages) {
        WriteWholeFile(
            root_ / "src/catalog-src.xml",
            "<CatalogSource><Updater version='2.0.1' display='2.0'><File source='ScUpdater.exe'/></Updater>"
            "<Model name='SC-200'>" +
                packages + "</Model></CatalogSource>");
    }
    static std::string Package(const std::string& id, const std::string& source, const std::string& texts) {
        return "<Package id='" + id +
               "' category='FIRM' version='1.10' thumbnail='images/pic.png'>"
               "<Spec value='ALL_ALL' source='" +
               source + "'/>" + texts + "</Package>";
    }
    bool Build(bool placeholders, std::string& error, std::vector<fs::path> folders = {}) {
        mkcatalog::BuildOptions options;
        options.source = root_ / "src";
        options.out = root_ / "out";
        options.packageFolders = std::move(folders);
        options.placeholders = placeholders;
        options.unsignedCatalog = true;  // statements are the business of StatementTest
        mkcatalog::CatalogBuilder builder(options);
        const bool built = builder.Build(error);
        made_ = builder.Made();
        return built;
    }
    fs::path Out(const std::string& relative) const { return root_ / "out" / relative; }

    fs::path root_;
    std::vector<std::string> made_;
};

TEST_F(Builder, RealPackagesAreCopiedAndPd3FilesWrappedUnchanged) {
    WriteSource(
        Package("FP-MAIN", "fw/main.pd3", "<Text lang='ENG' title='Main'>Better.</Text>") +
        Package("PP-TOOL", "tool.exe",
                "<Text lang='JPN' title='Tool JP'>Tool.</Text><Text lang='DEU' title='Werkzeug'>W.</Text>"));
    const std::string firmware = std::string("\x01\x40\x74\x20", 4) + std::string(5000, '\x55');
    WriteWholeFile(root_ / "pkgs/fw/main.pd3", firmware);
    WriteWholeFile(root_ / "pkgs/tool.exe", "MZ installer");
    WriteWholeFile(root_ / "pkgs/ScUpdater.exe", "MZ updater");
    std::string error;
    ASSERT_TRUE(Build(false, error, {root_ / "pkgs"})) << error;

    EXPECT_EQ(ReadWholeFile(Out("SC-200/SC-200_PP-TOOL_ALL_ALL_1.10.exe")), "MZ installer");
    EXPECT_EQ(UnzipEntry(Out("SC-200/SC-200_FP-MAIN_ALL_ALL_1.10.pdz"), "main.pd3"), firmware);
    EXPECT_EQ(UnzipEntry(Out("updater/ScUpdater-2.0.1.zip"), "ScUpdater.exe"), "MZ updater");

    const std::string data = UnzipEntry(Out("SC-200/SC-200_FP-MAIN_ALL_ALL_1.10.zip"), "data.xml");
    EXPECT_EQ(TextOf(data, "ScriboUpdater/Type"), "pdz");
    EXPECT_EQ(TextOf(data, "ScriboUpdater/Title"), "Main");
    EXPECT_EQ(TextOf(data, "ScriboUpdater/Description"), "Better.");
    EXPECT_EQ(TextOf(data, "ScriboUpdater/Size"), "1 KB");
    // Without an English text the first one is the default.
    const fs::path tool = Out("SC-200/SC-200_PP-TOOL_ALL_ALL_1.10.zip");
    EXPECT_EQ(UnzipNames(tool),
              (std::vector<std::string>{"data.xml", "data_JPN.xml", "data_DEU.xml", "pic.png"}));
    EXPECT_EQ(TextOf(UnzipEntry(tool, "data.xml"), "ScriboUpdater/Title"), "Tool JP");
    EXPECT_EQ(TextOf(UnzipEntry(tool, "data.xml"), "ScriboUpdater/Type"), "exe");

    // What the server reads back.
    const auto catalog = updateserver::Catalog::Load(root_ / "out", error);
    ASSERT_TRUE(catalog) << error;
    EXPECT_EQ(catalog->Updater().display, "2.0");
    EXPECT_EQ(catalog->FindPackage(catalog->FindModel("Corvane SC-200"), "PP-TOOL", "ALL_ALL")->package,
              "SC-200/SC-200_PP-TOOL_ALL_ALL_1.10.exe");
}

TEST_F(Builder, PackageFoldersAreSearchedInOrderAndPlaceholdersAreMarked) {
    WriteSource(Package("FP-MAIN", "main.pd3", "<Text lang='ENG' title='Main'>x</Text>") +
                Package("PP-TOOL", "tool.msi", "<Text lang='ENG' title='Tool'>x</Text>"));
    WriteWholeFile(root_ / "first/main.pd3", "first");
    WriteWholeFile(root_ / "second/main.pd3", "second");
    std::string error;
    ASSERT_TRUE(Build(true, error, {root_ / "first", root_ / "second"})) << error;
    EXPECT_EQ(UnzipEntry(Out("SC-200/SC-200_FP-MAIN_ALL_ALL_1.10.pdz"), "main.pd3"), "first");
    EXPECT_EQ(ReadWholeFile(Out("SC-200/SC-200_PP-TOOL_ALL_ALL_1.10.msi")).rfind("PLACEHOLDER", 0), 0u);
    const auto placeholder = std::find_if(made_.begin(), made_.end(), [](const std::string& line) {
        return line.find("SC-200_PP-TOOL_ALL_ALL_1.10.msi PLACEHOLDER for tool.msi") != std::string::npos;
    });
    EXPECT_NE(placeholder, made_.end());
    EXPECT_EQ(UnzipEntry(Out("updater/ScUpdater-2.0.1.zip"), "ScUpdater.exe").rfind("PLACEHOLDER", 0), 0u);
}

TEST_F(Builder, AFailedBuildLeavesThePreviousCatalogAsItWas) {
    WriteSource(Package("FP-MAIN", "main.pd3", "<Text lang='ENG' title='Main'>x</Text>"));
    std::string error;
    ASSERT_TRUE(Build(true, error)) << error;
    const std::string before = ReadWholeFile(Out("catalog.xml"));

    WriteSource(Package("FP-MAIN", "main.pd3", "<Text lang='ENG' title='Main'>x</Text>") +
                Package("FP-SUB", "sub.pd3", "<Text lang='ENG' title='Sub'>x</Text>"));
    WriteWholeFile(root_ / "src/packages/ScUpdater.exe", "MZ");
    EXPECT_FALSE(Build(false, error));
    EXPECT_NE(error.find("package main.pd3 is in none of"), std::string::npos) << error;
    EXPECT_EQ(ReadWholeFile(Out("catalog.xml")), before);
    // No half-built folder is left beside it.
    for (const auto& entry : fs::directory_iterator(root_)) {
        EXPECT_EQ(entry.path().filename().string().find(".out."), std::string::npos) << entry.path();
    }
}

TEST_F(Builder, RefusesSourcesThatCannotWorkAndFoldersThatAreNotCatalogs) {
    std::string error;
    WriteSource(Package("FP-MAIN", "main.zip", "<Text lang='ENG' title='Main'>x</Text>"));
    EXPECT_FALSE(Build(true, error));
    EXPECT_NE(error.find("three-letter ending other than zip"), std::string::npos) << error;

    WriteSource(Package("FP-MAIN", "main.pd3", "<Text lang='English' title='Main'>x</Text>"));
    EXPECT_FALSE(Build(true, error));
    EXPECT_NE(error.find("lang=\"English\" is not a three-letter abbreviation"), std::string::npos) << error;

    WriteSource(Package("FP MAIN", "main.pd3", "<Text lang='ENG' title='Main'>x</Text>"));
    EXPECT_FALSE(Build(true, error));
    EXPECT_NE(error.find("may hold only letters"), std::string::npos) << error;

    WriteSource(Package("FP-MAIN", "main.pd3", ""));
    EXPECT_FALSE(Build(true, error));
    EXPECT_NE(error.find("no <Text>"), std::string::npos) << error;

    WriteSource(Package("FP-MAIN", "main.pd3", "<Text lang='ENG' title='Main'>x</Text>"));
    WriteWholeFile(root_ / "out/notes.txt", "mine");
    EXPECT_FALSE(Build(true, error));
    EXPECT_NE(error.find("is not a catalog folder"), std::string::npos) << error;
    EXPECT_EQ(ReadWholeFile(Out("notes.txt")), "mine");
}

TEST(SizeText, ShowsKilobytesBelowAMegabyteAndMegabytesWithOneDecimalAbove) {
    EXPECT_EQ(mkcatalog::SizeText(0), "1 KB");
    EXPECT_EQ(mkcatalog::SizeText(1024), "1 KB");
    EXPECT_EQ(mkcatalog::SizeText(1025), "2 KB");
    EXPECT_EQ(mkcatalog::SizeText(1024 * 1024), "1.0 MB");
    EXPECT_EQ(mkcatalog::SizeText(13 * 1024 * 1024 + 512 * 1024), "13.5 MB");
}

TEST(MkcatalogProgram, ReportsBadArgumentsAndFailedBuilds) {
    const CommandResult bad = RunCommand({MKCATALOG_EXE, "--source"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.output.find("usage: mkcatalog"), std::string::npos);

    const fs::path out = MakeTempDir("mkcatalog-out") / "catalog";
    const CommandResult missing =
        RunCommand({MKCATALOG_EXE, "--source", DEMO_SOURCE_DIR, "--out", out.string(), "--unsigned"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.output.find("mkcatalog: "), std::string::npos);
    EXPECT_FALSE(fs::exists(out));

    const CommandResult built = RunCommand(
        {MKCATALOG_EXE, "--source", DEMO_SOURCE_DIR, "--out", out.string(), "--placeholders", "--unsigned"});
    EXPECT_EQ(built.exitCode, 0) << built.output;
    EXPECT_NE(built.output.find("PLACEHOLDER for firmware/SC-200_FP-MAIN_1.05.pd3"), std::string::npos)
        << built.output;
    EXPECT_TRUE(fs::exists(out / "catalog.xml"));
    fs::remove_all(out.parent_path());
}

}  // namespace
