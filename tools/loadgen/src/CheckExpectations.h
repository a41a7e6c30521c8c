#pragma once
// What a PC's check must get: the answers that one of the expected catalogs gives. During a catalog
// reload two catalogs are right, but each answer must come wholly from one of them.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Catalog.h"

namespace loadgen {

// An entry that a version check answer offers to one of the PC's printers.
struct OfferedFirm {
    std::string model;  // the model name as answered
    std::string spec;
    std::string category;
    std::string id;
    std::string version;
};

// What a file update answer names: its description package and the real package beside it.
struct FileUpdateFacts {
    std::string descriptionPath;  // the address's path, e.g. /scupdater/files/SC-200/x.zip
    std::string packagePath;
    const updateserver::Catalog* catalog = nullptr;
    const updateserver::CatalogPackage* package = nullptr;
};

class CheckExpectations {
  public:
    explicit CheckExpectations(std::vector<std::shared_ptr<const updateserver::Catalog>> catalogs);

    // The PC's printers: every driver of the first catalog, each in the PC's region.
    std::vector<std::string> Drivers() const;
    // The regions the catalog has entries for, in a stable order.
    std::vector<std::string> Regions() const;

    // Empty when the answer is one catalog's answer to a version check of the drivers in the region;
    // otherwise what is wrong. Fills the offered firms.
    std::string CheckVersionCheck(const std::string& answer, const std::string& region,
                                  std::vector<OfferedFirm>& firms) const;
    // As above, for the file update of one offered firm, asked with the installed version "0".
    std::string CheckFileUpdate(const std::string& answer, const OfferedFirm& firm,
                                FileUpdateFacts& facts) const;
    // Empty when the body is the description package as it is in the catalog folder.
    std::string CheckDescription(const std::string& body, const FileUpdateFacts& facts) const;
    // Empty when the package download had the package's size.
    std::string CheckPackage(long long bodyBytes, const FileUpdateFacts& facts) const;

  private:
    static std::string Key(const updateserver::Catalog& catalog, const std::string& relativePath);
    std::string CheckVersionCheckOf(const updateserver::Catalog& catalog, const std::string& answer,
                                    const std::string& region, std::vector<OfferedFirm>& firms) const;
    std::string CheckFileUpdateOf(const updateserver::Catalog& catalog, const std::string& answer,
                                  const OfferedFirm& firm, FileUpdateFacts& facts) const;

    std::vector<std::shared_ptr<const updateserver::Catalog>> catalogs_;
    // Read once up front: the checks run in the event loop and must not touch the disk.
    std::map<std::string, std::string> descriptions_;  // catalog folder + relative path -> content
    std::map<std::string, long long> packageSizes_;
};

// The path of a URL (what follows scheme and host); the URL itself when it has no scheme.
std::string PathOfUrl(const std::string& url);

}  // namespace loadgen
