#include "CheckExpectations.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <pugixml.hpp>
#include <set>
#include <stdexcept>

namespace loadgen {
namespace {

constexpr char kFilesPath[] = "/scupdater/files/";
constexpr char kDriverPrefix[] = "Corvane ";

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Text(const pugi::xml_node& node, const char* path) {
    return node.first_element_by_path(path).child_value();
}

std::string Mismatch(const char* what, const std::string& got, const std::string& expected) {
    return std::string(what) + " \"" + got + "\" where \"" + expected + "\" was expected";
}

}  // namespace

std::string PathOfUrl(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos) return url;
    const std::size_t path = url.find('/', scheme + 3);
    return path == std::string::npos ? "/" : url.substr(path);
}

CheckExpectations::CheckExpectations(std::vector<std::shared_ptr<const updateserver::Catalog>> catalogs)
    : catalogs_(std::move(catalogs)) {
    if (catalogs_.empty()) throw std::invalid_argument("no catalog to check answers against");
    for (const auto& catalog : catalogs_) {
        const auto remember = [&](const updateserver::CatalogPackage& p) {
            descriptions_[Key(*catalog, p.description)] = ReadFile(catalog->Folder() / p.description);
            packageSizes_[Key(*catalog, p.package)] =
                static_cast<long long>(std::filesystem::file_size(catalog->Folder() / p.package));
        };
        for (const auto& model : catalog->Models())
            for (const auto& p : model.packages) remember(p);
        for (const auto& p : catalog->Software()) remember(p);
    }
}

std::string CheckExpectations::Key(const updateserver::Catalog& catalog, const std::string& relativePath) {
    return (catalog.Folder() / relativePath).string();
}

std::vector<std::string> CheckExpectations::Drivers() const {
    std::vector<std::string> drivers;
    for (const auto& model : catalogs_.front()->Models()) drivers.push_back(model.driver);
    return drivers;
}

std::vector<std::string> CheckExpectations::Regions() const {
    std::set<std::string> regions;
    const auto& catalog = *catalogs_.front();
    for (const auto& model : catalog.Models())
        for (const auto& p : model.packages) regions.insert(p.spec);
    for (const auto& p : catalog.Software()) regions.insert(p.spec);
    return {regions.begin(), regions.end()};
}

std::string CheckExpectations::CheckVersionCheck(const std::string& answer, const std::string& region,
                                                 std::vector<OfferedFirm>& firms) const {
    std::string why;
    for (const auto& catalog : catalogs_) {
        firms.clear();
        why = CheckVersionCheckOf(*catalog, answer, region, firms);
        if (why.empty()) return why;
    }
    return "version check: " + why;
}

std::string CheckExpectations::CheckVersionCheckOf(const updateserver::Catalog& catalog,
                                                   const std::string& answer, const std::string& region,
                                                   std::vector<OfferedFirm>& firms) const {
    pugi::xml_document doc;
    if (!doc.load_string(answer.c_str())) return "not XML: " + answer.substr(0, 200);
    const pugi::xml_node root = doc.child("ResponseInfo");
    const std::string updater = Text(root, "FirmUpdateToolInfo/Version");
    if (updater != catalog.Updater().version)
        return Mismatch("updater version", updater, catalog.Updater().version);
    pugi::xml_node model = root.child("ModelInfo").child("Model");
    for (const std::string& driver : Drivers()) {
        const updateserver::CatalogModel* known = catalog.FindModel(driver);
        const std::string name = known ? known->name : driver.substr(std::string(kDriverPrefix).size());
        if (!model) return "no <Model> for " + driver;
        if (Text(model, "Name") != name) return Mismatch("model", Text(model, "Name"), name);
        if (Text(model, "Spec") != region) return Mismatch("spec", Text(model, "Spec"), region);
        pugi::xml_node firm = model.child("FirmInfo").child("Firm");
        for (const updateserver::CatalogPackage* p : catalog.Offer(known, region)) {
            if (!firm) return "firm " + p->id + " of " + name + " is missing";
            if (Text(firm, "Id") != p->id) return Mismatch("firm id", Text(firm, "Id"), p->id);
            if (Text(firm, "Version") != p->version)
                return Mismatch("version", Text(firm, "Version"), p->version);
            if (Text(firm, "Category") != p->category)
                return Mismatch("category", Text(firm, "Category"), p->category);
            firms.push_back({name, region, p->category, p->id, p->version});
            firm = firm.next_sibling("Firm");
        }
        if (firm) return "unexpected firm " + Text(firm, "Id") + " for " + name;
        model = model.next_sibling("Model");
    }
    if (model) return "unexpected model " + Text(model, "Name");
    return {};
}

std::string CheckExpectations::CheckFileUpdate(const std::string& answer, const OfferedFirm& firm,
                                               FileUpdateFacts& facts) const {
    std::string why;
    for (const auto& catalog : catalogs_) {
        why = CheckFileUpdateOf(*catalog, answer, firm, facts);
        if (why.empty()) return why;
    }
    return "file update of " + firm.model + " " + firm.id + " " + firm.spec + ": " + why;
}

std::string CheckExpectations::CheckFileUpdateOf(const updateserver::Catalog& catalog,
                                                 const std::string& answer, const OfferedFirm& firm,
                                                 FileUpdateFacts& facts) const {
    const updateserver::CatalogPackage* p =
        catalog.FindPackage(catalog.FindModel(firm.model), firm.id, firm.spec);
    if (!p) return "the catalog has no such entry";
    pugi::xml_document doc;
    if (!doc.load_string(answer.c_str())) return "not XML: " + answer.substr(0, 200);
    const pugi::xml_node info = doc.child("ResponseInfo").child("FirmUpdateInfo");
    if (Text(info, "VersionCheck") != "0") return Mismatch("VersionCheck", Text(info, "VersionCheck"), "0");
    if (Text(info, "Firm/Id") != p->id) return Mismatch("id", Text(info, "Firm/Id"), p->id);
    if (Text(info, "Firm/Version") != p->version)
        return Mismatch("version", Text(info, "Firm/Version"), p->version);
    if (Text(info, "Firm/Category") != p->category)
        return Mismatch("category", Text(info, "Firm/Category"), p->category);
    const std::string path = PathOfUrl(Text(info, "Firm/Path"));
    if (path != kFilesPath + p->description) return Mismatch("path", path, kFilesPath + p->description);
    facts = {path, kFilesPath + p->package, &catalog, p};
    return {};
}

std::string CheckExpectations::CheckDescription(const std::string& body, const FileUpdateFacts& facts) const {
    const auto it = descriptions_.find(Key(*facts.catalog, facts.package->description));
    if (it == descriptions_.end() || it->second != body)
        return "description package " + facts.descriptionPath + " differs from the catalog's file";
    return {};
}

std::string CheckExpectations::CheckPackage(long long bodyBytes, const FileUpdateFacts& facts) const {
    const auto it = packageSizes_.find(Key(*facts.catalog, facts.package->package));
    if (it == packageSizes_.end() || it->second != bodyBytes)
        return "package " + facts.packagePath + " came with " + std::to_string(bodyBytes) + " bytes";
    return {};
}

}  // namespace loadgen
