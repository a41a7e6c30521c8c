#include "TestCatalog.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

fs::path MakeTempDir(const std::string& stem) {
    std::string pattern = (fs::temp_directory_path() / (stem + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
    return fs::path(buffer.data());
}

std::string ReadWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TestCatalog::TestCatalog() : dir_(MakeTempDir("updateserver-catalog")) {}

TestCatalog::~TestCatalog() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

void TestCatalog::WriteFile(const std::string& relativePath, const std::string& content) const {
    const fs::path path = dir_ / relativePath;
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string TestCatalog::StandardXml() {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<Catalog>
  <Updater version="1.2.0" display="1.2" file="updater/ScUpdater-1.2.0.zip"/>
  <Model name="SC-200">
    <Package id="FP-MAIN" category="FIRM" spec="ALL_ALL" version="1.05"
             description="SC-200/SC-200_FP-MAIN_ALL_ALL.zip" package="SC-200/SC-200_FP-MAIN_ALL_ALL.pdz"/>
    <Package id="FP-MAIN" category="FIRM" spec="JPN_JPN" version="1.06"
             description="SC-200/SC-200_FP-MAIN_JPN_JPN.zip" package="SC-200/SC-200_FP-MAIN_JPN_JPN.pdz"/>
    <Package id="FP-FONTS" category="FIRM" spec="ALL_ALL" version="2.10"
             description="SC-200/SC-200_FP-FONTS_ALL_ALL.zip" package="SC-200/SC-200_FP-FONTS_ALL_ALL.pdz"/>
    <Package id="FC-TMPL01" category="FIRM" spec="ALL_ALL" version="1.00"
             description="SC-200/SC-200_FC-TMPL01_ALL_ALL.zip" package="SC-200/SC-200_FC-TMPL01_ALL_ALL.pdz"/>
  </Model>
  <Model name="SC-300" driver="Corvane SC-300 Pro">
    <Package id="FP-MAIN" category="FIRM" spec="ALL_ALL" version="2.01"
             description="SC-300/SC-300_FP-MAIN_ALL_ALL.zip" package="SC-300/SC-300_FP-MAIN_ALL_ALL.pdz"/>
  </Model>
  <Software>
    <Package id="PP-SCEDIT52" category="PCS" spec="JPN_ALL" version="5.2.1"
             description="software/PP-SCEDIT52_JPN_ALL.zip" package="software/PP-SCEDIT52_JPN_ALL.exe"/>
    <Package id="PP-SCEDIT52" category="PCS" spec="ENU_ALL" version="5.2.1"
             description="software/PP-SCEDIT52_ENU_ALL.zip" package="software/PP-SCEDIT52_ENU_ALL.exe"/>
    <Package id="PP-CONTACT13" category="PCS" spec="ENU_ALL" version="1.3.2"
             description="software/PP-CONTACT13_ENU_ALL.zip" package="software/PP-CONTACT13_ENU_ALL.msi"/>
  </Software>
</Catalog>
)";
}

void TestCatalog::WriteStandard() const {
    WriteCatalog(StandardXml());
    WriteFile("updater/ScUpdater-1.2.0.zip", "abc");
    const std::pair<const char*, const char*> packages[] = {
        {"SC-200/SC-200_FP-MAIN_ALL_ALL", "pdz"},  {"SC-200/SC-200_FP-MAIN_JPN_JPN", "pdz"},
        {"SC-200/SC-200_FP-FONTS_ALL_ALL", "pdz"}, {"SC-200/SC-200_FC-TMPL01_ALL_ALL", "pdz"},
        {"SC-300/SC-300_FP-MAIN_ALL_ALL", "pdz"},  {"software/PP-SCEDIT52_JPN_ALL", "exe"},
        {"software/PP-SCEDIT52_ENU_ALL", "exe"},   {"software/PP-CONTACT13_ENU_ALL", "msi"}};
    for (const auto& [stem, type] : packages) {
        WriteFile(std::string(stem) + ".zip", std::string("description of ") + stem);
        WriteFile(std::string(stem) + "." + type, std::string("package ") + stem);
    }
}
