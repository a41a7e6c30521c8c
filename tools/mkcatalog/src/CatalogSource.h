#pragma once
// The description of a catalog from which mkcatalog builds the served folder: "catalog-src.xml" in the
// source folder, with the thumbnails it names beside it. The format is described in the README of
// tools/updateserver.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mkcatalog {

inline constexpr char kSourceFileName[] = "catalog-src.xml";

struct SourceText {
    std::string lang;  // three-letter language abbreviation, e.g. "ENG", "JPN", "ARA"
    std::string title;
    std::string description;
    std::string link;  // details page for this language; empty: the package's link
};

struct SourceSpec {
    std::string spec;    // language-region, e.g. "ALL_ALL", "JPN_ALL"
    std::string source;  // the real package, looked up in the package folders
};

struct SourcePackage {
    std::string id;
    std::string category;
    std::string version;
    std::string thumbnail;  // image file relative to the source folder; may be empty
    std::string link;       // details page; empty: the updater builds its own
    std::string replaces;   // a withdrawn version that this older one may replace; usually empty
    std::vector<SourceSpec> specs;
    std::vector<SourceText> texts;
};

struct SourceModel {
    std::string name;
    std::string driver;  // empty: the maker's name and the model name
    std::vector<SourcePackage> packages;
};

struct SourceUpdater {
    std::string version;
    std::string display;
    std::vector<std::string> files;  // the updater's files, looked up in the package folders
};

struct CatalogSource {
    SourceUpdater updater;
    std::vector<SourceModel> models;
    std::vector<SourcePackage> software;

    // Reads and checks the source file of the folder; on failure the message names what is wrong.
    static std::optional<CatalogSource> Load(const std::filesystem::path& folder, std::string& error);
};

}  // namespace mkcatalog
