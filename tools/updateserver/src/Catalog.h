#pragma once
// The served catalog: "catalog.xml" in the catalog folder, naming every offered package and the updater's
// own package. The format is described in the README beside this tool.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace updateserver {

inline constexpr char kCatalogFileName[] = "catalog.xml";
inline constexpr char kMakerName[] = "Corvane";

struct CatalogPackage {
    std::string id;           // package code, e.g. "FP-MAIN" or "PP-SCEDIT52"
    std::string category;     // "FIRM" or "PCS"
    std::string spec;         // language-region, e.g. "ALL_ALL" or "JPN_ALL"
    std::string version;      // the offered version
    std::string description;  // description package, relative to the catalog folder
    std::string package;      // the real package beside it
};

struct CatalogModel {
    std::string name;    // model name as answered, e.g. "SC-200"
    std::string driver;  // printer driver name the updater asks with, e.g. "Corvane SC-200"
    std::vector<CatalogPackage> packages;
};

struct CatalogUpdater {
    std::string version;  // compared by the updater with its installed version
    std::string display;  // shown to the user
    std::string file;     // the updater's package, relative to the catalog folder
};

class Catalog {
  public:
    // Reads and checks the catalog file of the folder, including that every named file exists. On
    // failure the message names the file, the element and what is wrong with it.
    static std::optional<Catalog> Load(const std::filesystem::path& folder, std::string& error);

    const std::filesystem::path& Folder() const { return folder_; }
    const CatalogUpdater& Updater() const { return updater_; }
    const std::vector<CatalogModel>& Models() const { return models_; }
    // Packages offered to every printer of the family, whatever its model.
    const std::vector<CatalogPackage>& Software() const { return software_; }

    // The model named by its model name or by its driver name, ignoring case; nullptr when unknown.
    const CatalogModel* FindModel(std::string_view name) const;
    // What the catalog offers for the language-region: the model's packages (none for an unknown model)
    // followed by the family-wide ones.
    std::vector<const CatalogPackage*> Offer(const CatalogModel* model, std::string_view spec) const;
    const CatalogPackage* FindPackage(const CatalogModel* model, std::string_view id,
                                      std::string_view spec) const;

  private:
    std::filesystem::path folder_;
    CatalogUpdater updater_;
    std::vector<CatalogModel> models_;
    std::vector<CatalogPackage> software_;
};

// A path below a served folder: relative, "/"-separated, without empty, "." or ".." segments.
bool IsSafeRelativePath(std::string_view path);
bool EqualsIgnoringCase(std::string_view left, std::string_view right);

}  // namespace updateserver
