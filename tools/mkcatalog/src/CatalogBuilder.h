#pragma once
// Builds the folder that the update server serves from a catalog source: description packages,
// real packages, the updater's package and catalog.xml. The folder is built beside the target and
// put in its place only when complete, so a failed build leaves the previous folder as it was.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CatalogSource.h"
#include "StatementSigner.h"

namespace mkcatalog {

struct BuildOptions {
    std::filesystem::path source;                       // folder with catalog-src.xml
    std::vector<std::filesystem::path> packageFolders;  // searched in order, then <source>/packages
    std::filesystem::path out;                          // the folder to serve
    bool placeholders = false;                          // make stand-ins for packages not found
    // Writes a signed statement beside every file the updater fetches. Without a signer the build fails
    // unless unsignedCatalog asks for a catalog without statements, as older servers have.
    std::shared_ptr<const StatementSigner> signer;
    bool unsignedCatalog = false;
    std::string expires;  // the statements' expiry time; empty: 90 days from the build
};

class CatalogBuilder {
  public:
    explicit CatalogBuilder(BuildOptions options);

    bool Build(std::string& error);
    // One line per package made, naming what it was made from; stand-ins are marked. A last line says
    // how many statements were signed with which key, or that the catalog is unsigned.
    const std::vector<std::string>& Made() const { return made_; }

  private:
    bool BuildInto(const std::filesystem::path& folder, const CatalogSource& source, std::string& error);
    bool MakeUpdater(const std::filesystem::path& folder, const SourceUpdater& updater, std::string& file,
                     std::string& error);
    bool MakePackage(const std::filesystem::path& folder, const SourcePackage& package,
                     const SourceSpec& spec, const std::string& stem, std::string& description,
                     std::string& real, std::string& error);
    bool Sign(const std::filesystem::path& file, const StatementFields& fields, std::string& error);
    bool MakeRealPackage(const std::filesystem::path& target, const std::string& source,
                         const std::string& what, std::string& error);
    std::optional<std::filesystem::path> FindPackageSource(const std::string& source) const;
    std::string SearchedFolders() const;

    BuildOptions options_;
    std::vector<std::string> made_;
    std::string expires_;  // of this build's statements
    std::size_t signed_ = 0;
};

// The size as the package list shows it, e.g. "640 KB" or "12.5 MB".
std::string SizeText(std::uintmax_t bytes);

}  // namespace mkcatalog
