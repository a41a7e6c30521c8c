#include "Catalog.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <fstream>
#include <map>
#include <pugixml.hpp>
#include <system_error>

namespace updateserver {
namespace {

namespace fs = std::filesystem;

std::string LineOf(const fs::path& file, std::ptrdiff_t offset) {
    // pugixml reports byte offsets; people look for lines.
    std::ifstream in(file, std::ios::binary);
    int line = 1;
    char c = 0;
    for (std::ptrdiff_t i = 0; i < offset && in.get(c); ++i) {
        if (c == '\n') ++line;
    }
    return std::to_string(line);
}

// Collects the first problem found; every check after it is skipped.
class Checker {
  public:
    explicit Checker(fs::path folder) : folder_(std::move(folder)) {}

    bool Failed() const { return !error_.empty(); }
    const std::string& Error() const { return error_; }

    void Fail(const std::string& where, const std::string& what) {
        if (error_.empty()) error_ = std::string(kCatalogFileName) + ": " + where + ": " + what;
    }

    std::string Required(const pugi::xml_node& node, const char* attribute, const std::string& where) {
        const std::string value = node.attribute(attribute).value();
        if (value.empty()) Fail(where, std::string("attribute \"") + attribute + "\" is missing or empty");
        return value;
    }

    // A file below the folder; its size when it is a regular file.
    std::uintmax_t ServedFile(const std::string& path, const std::string& where) {
        if (Failed()) return 0;
        if (!IsSafeRelativePath(path)) {
            Fail(where, "\"" + path + "\" is not a relative path below the catalog folder");
            return 0;
        }
        std::error_code ec;
        const fs::path full = folder_ / path;
        if (!fs::is_regular_file(full, ec)) {
            Fail(where, "file \"" + path + "\" does not exist in " + folder_.string());
            return 0;
        }
        return fs::file_size(full, ec);
    }

    // Every download lands in one folder of the PC under its last path segment, so two files with the
    // same name would overwrite each other there.
    void UniqueDownloadName(const std::string& path, const std::string& where) {
        if (Failed()) return;
        const std::string name = path.substr(path.rfind('/') + 1);
        std::string lower;
        for (const char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const auto [it, inserted] = downloadNames_.emplace(lower, where);
        if (!inserted) Fail(where, "file name \"" + name + "\" is already used by " + it->second);
    }

  private:
    fs::path folder_;
    std::string error_;
    std::map<std::string, std::string> downloadNames_;
};

std::string Extension(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return path.substr(dot + 1);
}

// The updater finds the real package by putting the three-letter type that the description package
// names in place of the last three characters of the description package's address.
void CheckBeside(Checker& checker, const CatalogPackage& p, const std::string& where) {
    if (checker.Failed()) return;
    if (Extension(p.description).size() != 3 || Extension(p.package).size() != 3) {
        checker.Fail(where, "the description package and the package need three-letter endings");
    } else if (p.description.substr(0, p.description.size() - 3) !=
               p.package.substr(0, p.package.size() - 3)) {
        checker.Fail(where, "package \"" + p.package + "\" must lie beside \"" + p.description +
                                "\" under the same name with another ending");
    } else if (EqualsIgnoringCase(p.description, p.package)) {
        checker.Fail(where, "the package and its description package are the same file");
    }
}

CatalogPackage ReadPackage(Checker& checker, const pugi::xml_node& node, const std::string& scope) {
    CatalogPackage p;
    const std::string where = scope + " <Package id=\"" + std::string(node.attribute("id").value()) + "\">";
    p.id = checker.Required(node, "id", where);
    p.category = checker.Required(node, "category", where);
    p.spec = checker.Required(node, "spec", where);
    p.version = checker.Required(node, "version", where);
    p.description = checker.Required(node, "description", where);
    p.package = checker.Required(node, "package", where);
    checker.ServedFile(p.description, where);
    checker.ServedFile(p.package, where);
    CheckBeside(checker, p, where);
    checker.UniqueDownloadName(p.description, where);
    checker.UniqueDownloadName(p.package, where);
    return p;
}

void CheckNoDuplicates(Checker& checker, const std::vector<CatalogPackage>& packages,
                       const std::vector<CatalogPackage>& software, const std::string& scope) {
    for (std::size_t i = 0; i < packages.size() && !checker.Failed(); ++i) {
        const auto same = [&](const CatalogPackage& other) {
            return EqualsIgnoringCase(other.id, packages[i].id) &&
                   EqualsIgnoringCase(other.spec, packages[i].spec);
        };
        const bool twice =
            std::any_of(packages.begin() + static_cast<std::ptrdiff_t>(i) + 1, packages.end(), same);
        const bool alsoSoftware =
            &packages != &software && std::any_of(software.begin(), software.end(), same);
        if (twice || alsoSoftware) {
            checker.Fail(scope,
                         "package " + packages[i].id + " for " + packages[i].spec + " is listed twice");
        }
    }
}

}  // namespace

bool EqualsIgnoringCase(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) return false;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(left[i])) !=
            std::tolower(static_cast<unsigned char>(right[i])))
            return false;
    }
    return true;
}

bool IsSafeRelativePath(std::string_view path) {
    if (path.empty() || path.front() == '/' || path.find('\\') != std::string_view::npos ||
        path.find('\0') != std::string_view::npos) {
        return false;
    }
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        const std::string_view segment = path.substr(0, slash);
        if (segment.empty() || segment == "." || segment == "..") return false;
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
        if (path.empty()) return false;
    }
    return true;
}

std::optional<Catalog> Catalog::Load(const fs::path& folder, std::string& error) {
    const fs::path file = folder / kCatalogFileName;
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(file.c_str());
    if (parsed.status == pugi::status_file_not_found || parsed.status == pugi::status_io_error) {
        error = "cannot read " + file.string();
        return std::nullopt;
    }
    if (!parsed) {
        error = file.string() + " line " + LineOf(file, parsed.offset) + ": " + parsed.description();
        return std::nullopt;
    }

    Checker checker(folder);
    Catalog catalog;
    catalog.folder_ = folder;
    const pugi::xml_node root = doc.child("Catalog");
    if (!root) checker.Fail("document", "the root element must be <Catalog>");

    const pugi::xml_node updater = root.child("Updater");
    if (!checker.Failed() && !updater) checker.Fail("<Catalog>", "<Updater> is missing");
    if (!checker.Failed()) {
        catalog.updater_.version = checker.Required(updater, "version", "<Updater>");
        catalog.updater_.display = updater.attribute("display").as_string(catalog.updater_.version.c_str());
        catalog.updater_.file = checker.Required(updater, "file", "<Updater>");
        // The updater reads the size as a 32-bit signed number.
        if (checker.ServedFile(catalog.updater_.file, "<Updater>") > INT32_MAX) {
            checker.Fail("<Updater>", "the updater package must be smaller than 2 GB");
        }
        checker.UniqueDownloadName(catalog.updater_.file, "<Updater>");
    }

    for (const pugi::xml_node node : root.children("Software")) {
        for (const pugi::xml_node package : node.children("Package")) {
            if (checker.Failed()) break;
            catalog.software_.push_back(ReadPackage(checker, package, "<Software>"));
        }
    }
    CheckNoDuplicates(checker, catalog.software_, catalog.software_, "<Software>");

    for (const pugi::xml_node node : root.children("Model")) {
        if (checker.Failed()) break;
        CatalogModel model;
        model.name = checker.Required(node, "name", "<Model>");
        model.driver =
            node.attribute("driver").as_string((std::string(kMakerName) + " " + model.name).c_str());
        const std::string scope = "<Model name=\"" + model.name + "\">";
        for (const CatalogModel& other : catalog.models_) {
            if (EqualsIgnoringCase(other.name, model.name) ||
                EqualsIgnoringCase(other.driver, model.driver) ||
                EqualsIgnoringCase(other.name, model.driver) ||
                EqualsIgnoringCase(other.driver, model.name)) {
                checker.Fail(scope, "model or driver name is already used by model " + other.name);
            }
        }
        for (const pugi::xml_node package : node.children("Package")) {
            if (checker.Failed()) break;
            model.packages.push_back(ReadPackage(checker, package, scope));
        }
        CheckNoDuplicates(checker, model.packages, catalog.software_, scope);
        catalog.models_.push_back(std::move(model));
    }

    if (checker.Failed()) {
        error = checker.Error();
        return std::nullopt;
    }
    return catalog;
}

const CatalogModel* Catalog::FindModel(std::string_view name) const {
    for (const CatalogModel& model : models_) {
        if (EqualsIgnoringCase(model.name, name) || EqualsIgnoringCase(model.driver, name)) return &model;
    }
    return nullptr;
}

std::vector<const CatalogPackage*> Catalog::Offer(const CatalogModel* model, std::string_view spec) const {
    std::vector<const CatalogPackage*> offer;
    const auto collect = [&](const std::vector<CatalogPackage>& packages) {
        for (const CatalogPackage& p : packages) {
            if (EqualsIgnoringCase(p.spec, spec)) offer.push_back(&p);
        }
    };
    if (model) collect(model->packages);
    collect(software_);
    return offer;
}

const CatalogPackage* Catalog::FindPackage(const CatalogModel* model, std::string_view id,
                                           std::string_view spec) const {
    for (const CatalogPackage* p : Offer(model, spec)) {
        if (EqualsIgnoringCase(p->id, id)) return p;
    }
    return nullptr;
}

}  // namespace updateserver
