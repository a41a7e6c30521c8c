#pragma once
// A catalog folder of its own for a test, removed afterwards.

#include <filesystem>
#include <string>

class TestCatalog {
  public:
    // Empty folder; call WriteStandard or write the files yourself.
    TestCatalog();
    ~TestCatalog();
    TestCatalog(const TestCatalog&) = delete;
    TestCatalog& operator=(const TestCatalog&) = delete;

    const std::filesystem::path& Dir() const { return dir_; }
    void WriteFile(const std::string& relativePath, const std::string& content) const;
    void WriteCatalog(const std::string& xml) const { WriteFile("catalog.xml", xml); }

    // The catalog most tests use:
    //   updater 1.2.0 ("1.2"), updater/ScUpdater-1.2.0.zip holding the three bytes "abc";
    //   model SC-200 (driver "Corvane SC-200"): FP-MAIN ALL_ALL 1.05, FP-MAIN JPN_JPN 1.06,
    //     FP-FONTS ALL_ALL 2.10, FC-TMPL01 ALL_ALL 1.00;
    //   model SC-300 (driver "Corvane SC-300 Pro"): FP-MAIN ALL_ALL 2.01;
    //   software: PP-SCEDIT52 JPN_ALL and ENU_ALL 5.2.1, PP-CONTACT13 ENU_ALL 1.3.2.
    // Every description package X.zip holds the text "description of X", its package X.<type> the
    // text "package X".
    void WriteStandard() const;
    static std::string StandardXml();

  private:
    std::filesystem::path dir_;
};

// A fresh folder below the system's temporary folder.
std::filesystem::path MakeTempDir(const std::string& stem);
std::string ReadWholeFile(const std::filesystem::path& path);
