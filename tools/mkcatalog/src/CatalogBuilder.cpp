#include "CatalogBuilder.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <pugixml.hpp>
#include <sstream>

#include "Catalog.h"
#include "ZipWriter.h"

namespace mkcatalog {
namespace {

namespace fs = std::filesystem;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string ExtensionOf(const std::string& path) {
    const fs::path p(path);
    const std::string ext = p.extension().string();
    return ext.empty() ? std::string() : Lower(ext.substr(1));
}

std::string BaseName(const std::string& path) { return fs::path(path).filename().string(); }

bool WriteText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

// A stand-in for a package that does not exist yet: plainly not an installer or firmware.
std::string PlaceholderText(const std::string& what) {
    return "PLACEHOLDER: this file stands in for " + what +
           ".\r\nIt is no real package; build the catalog again with the real file in a --packages "
           "folder.\r\n";
}

const SourceText& DefaultText(const SourcePackage& package) {
    const auto english = std::find_if(package.texts.begin(), package.texts.end(),
                                      [](const SourceText& t) { return t.lang == "ENG"; });
    return english != package.texts.end() ? *english : package.texts.front();
}

std::string DescriptionXml(const SourcePackage& package, const SourceText& text, const std::string& type,
                           const std::string& size) {
    pugi::xml_document doc;
    pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = doc.append_child("ScriboUpdater");
    const auto add = [&root](const char* name, const std::string& value) {
        root.append_child(name).text().set(value.c_str());
    };
    add("Type", type);
    add("Title", text.title);
    add("Version", package.version);
    add("Size", size);
    add("URL", text.link.empty() ? package.link : text.link);
    add("Thumbnail", package.thumbnail.empty() ? std::string() : BaseName(package.thumbnail));
    add("Description", text.description);
    std::ostringstream out;
    doc.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
    return out.str();
}

// Marks a folder as made by mkcatalog, so that a later build may replace it even when its catalog file
// has been deleted (as a build system's clean step does).
constexpr char kMarkerFileName[] = ".mkcatalog";

// Whether replacing the folder can only lose a catalog built before, never other files.
bool MayReplace(const fs::path& out) {
    std::error_code ec;
    if (!fs::exists(out, ec)) return true;
    if (!fs::is_directory(out, ec)) return false;
    return fs::exists(out / kMarkerFileName, ec) || fs::exists(out / updateserver::kCatalogFileName, ec) ||
           fs::is_empty(out, ec);
}

// Firmware packages (FP-, FC-) are made for one model, and their statements name it.
bool IsFirmware(const std::string& id) { return id.rfind("FP-", 0) == 0 || id.rfind("FC-", 0) == 0; }

}  // namespace

std::string SizeText(std::uintmax_t bytes) {
    char text[32];
    if (bytes >= 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    } else {
        std::snprintf(text, sizeof text, "%ju KB", std::max<std::uintmax_t>(1, (bytes + 1023) / 1024));
    }
    return text;
}

CatalogBuilder::CatalogBuilder(BuildOptions options) : options_(std::move(options)) {
    options_.packageFolders.push_back(options_.source / "packages");
}

std::string CatalogBuilder::SearchedFolders() const {
    std::string text;
    for (const fs::path& folder : options_.packageFolders)
        text += (text.empty() ? "" : ", ") + folder.string();
    return text;
}

std::optional<fs::path> CatalogBuilder::FindPackageSource(const std::string& source) const {
    std::error_code ec;
    for (const fs::path& folder : options_.packageFolders) {
        if (fs::is_regular_file(folder / source, ec)) return folder / source;
    }
    return std::nullopt;
}

bool CatalogBuilder::Build(std::string& error) {
    if (!options_.signer && !options_.unsignedCatalog) {
        error = "no signing key: give one, or ask for a catalog without statements";
        return false;
    }
    if (options_.signer) {
        expires_ = options_.expires.empty() ? StatementTimeInDays(kDefaultValidDays) : options_.expires;
        if (!ParseStatementTime(expires_)) {
            error = "the expiry time \"" + expires_ + "\" is not a UTC time YYYY-MM-DDTHH:MM:SSZ";
            return false;
        }
    }
    const auto source = CatalogSource::Load(options_.source, error);
    if (!source) return false;
    if (!MayReplace(options_.out)) {
        error = options_.out.string() + " exists and is not a catalog folder; it is left alone";
        return false;
    }
    const fs::path parent = options_.out.parent_path().empty() ? fs::path(".") : options_.out.parent_path();
    // Hidden siblings of the target, on the same file system so that renaming is atomic.
    const std::string sibling = std::string(".") + options_.out.filename().string();
    const std::string pid = std::to_string(getpid());
    const fs::path fresh = parent / (sibling + ".new-" + pid);
    const fs::path old = parent / (sibling + ".old-" + pid);
    std::error_code ec;
    fs::create_directories(parent, ec);
    fs::remove_all(fresh, ec);
    if (!fs::create_directories(fresh, ec)) {
        error = "cannot create " + fresh.string();
        return false;
    }
    made_.clear();
    signed_ = 0;
    if (!BuildInto(fresh, *source, error)) {
        fs::remove_all(fresh, ec);
        return false;
    }
    // The server's own reader checks the result, so that what is built is what the server accepts.
    std::string check;
    if (!updateserver::Catalog::Load(fresh, check)) {
        error = "the built catalog does not load: " + check;
        fs::remove_all(fresh, ec);
        return false;
    }
    if (fs::exists(options_.out, ec)) fs::rename(options_.out, old, ec);
    if (ec) {
        error = "cannot move the old " + options_.out.string() + " aside: " + ec.message();
        fs::remove_all(fresh, ec);
        return false;
    }
    fs::rename(fresh, options_.out, ec);
    if (ec) {
        error = "cannot put the new catalog in place: " + ec.message();
        std::error_code ignored;
        fs::rename(old, options_.out, ignored);
        fs::remove_all(fresh, ignored);
        return false;
    }
    fs::remove_all(old, ec);
    made_.push_back(options_.signer ? "signed " + std::to_string(signed_) + " files with key " +
                                          options_.signer->KeyId() + ", valid until " + expires_
                                    : std::string("UNSIGNED: no statements written"));
    return true;
}

bool CatalogBuilder::Sign(const fs::path& file, const StatementFields& fields, std::string& error) {
    if (!options_.signer) return true;
    StatementFields withExpiry = fields;
    withExpiry.expires = expires_;
    if (!options_.signer->WriteStatement(file, withExpiry, error)) return false;
    ++signed_;
    return true;
}

bool CatalogBuilder::BuildInto(const fs::path& folder, const CatalogSource& source, std::string& error) {
    pugi::xml_document doc;
    doc.append_child(pugi::node_comment)
        .set_value(
            " Made by mkcatalog from catalog-src.xml; the format is described in "
            "tools/updateserver/README.md ");
    pugi::xml_node root = doc.append_child("Catalog");

    std::string updaterFile;
    if (!MakeUpdater(folder, source.updater, updaterFile, error) ||
        !Sign(folder / updaterFile, {kUpdaterPackageCode, kUpdaterSpec, source.updater.version, "", "", ""},
              error))
        return false;
    pugi::xml_node updater = root.append_child("Updater");
    updater.append_attribute("version") = source.updater.version.c_str();
    updater.append_attribute("display") = source.updater.display.c_str();
    updater.append_attribute("file") = updaterFile.c_str();

    // model is empty for the family-wide packages.
    const auto addPackages = [&](pugi::xml_node parent, const std::vector<SourcePackage>& packages,
                                 const std::string& prefix, const std::string& model) {
        for (const SourcePackage& package : packages) {
            for (const SourceSpec& spec : package.specs) {
                std::string description;
                std::string real;
                const std::string stem = prefix + package.id + "_" + spec.spec + "_" + package.version;
                if (!MakePackage(folder, package, spec, stem, description, real, error)) return false;
                StatementFields fields;
                fields.package = package.id;
                fields.spec = spec.spec;
                fields.version = package.version;
                if (IsFirmware(package.id)) fields.model = model;
                fields.replaces = package.replaces;
                if (!Sign(folder / description, fields, error) || !Sign(folder / real, fields, error))
                    return false;
                pugi::xml_node node = parent.append_child("Package");
                node.append_attribute("id") = package.id.c_str();
                node.append_attribute("category") = package.category.c_str();
                node.append_attribute("spec") = spec.spec.c_str();
                node.append_attribute("version") = package.version.c_str();
                node.append_attribute("description") = description.c_str();
                node.append_attribute("package") = real.c_str();
            }
        }
        return true;
    };
    for (const SourceModel& model : source.models) {
        pugi::xml_node node = root.append_child("Model");
        node.append_attribute("name") = model.name.c_str();
        if (!model.driver.empty()) node.append_attribute("driver") = model.driver.c_str();
        if (!addPackages(node, model.packages, model.name + "/" + model.name + "_", model.name)) return false;
    }
    if (!source.software.empty() &&
        !addPackages(root.append_child("Software"), source.software, "software/", ""))
        return false;

    if (!WriteText(folder / kMarkerFileName,
                   "made by mkcatalog; the whole folder is replaced by the next build\n") ||
        !doc.save_file((folder / updateserver::kCatalogFileName).c_str(), "  ", pugi::format_default,
                       pugi::encoding_utf8)) {
        error = "cannot write " + (folder / updateserver::kCatalogFileName).string();
        return false;
    }
    return true;
}

bool CatalogBuilder::MakeUpdater(const fs::path& folder, const SourceUpdater& updater, std::string& file,
                                 std::string& error) {
    file = "updater/ScUpdater-" + updater.version + ".zip";
    const fs::path target = folder / file;
    fs::create_directories(target.parent_path());
    // A ready package is taken as it is.
    if (updater.files.size() == 1 && ExtensionOf(updater.files[0]) == "zip") {
        return MakeRealPackage(target, updater.files[0], "the updater's package", error);
    }
    ZipWriter zip(target);
    std::string from;
    for (const std::string& name : updater.files) {
        const auto found = FindPackageSource(name);
        if (found) {
            zip.AddFile(BaseName(name), *found);
            from += ' ';
            from += found->string();
        } else if (options_.placeholders) {
            zip.Add(BaseName(name), PlaceholderText("the updater's file " + name));
            from += " (placeholder " + BaseName(name) + ")";
        } else {
            error = "updater file " + name + " is in none of " + SearchedFolders() +
                    " (give its folder with --packages, or --placeholders)";
            return false;
        }
    }
    if (!zip.Finish()) {
        error = zip.Error();
        return false;
    }
    made_.push_back(file + " from" + from);
    return true;
}

bool CatalogBuilder::MakeRealPackage(const fs::path& target, const std::string& source,
                                     const std::string& what, std::string& error) {
    const auto found = FindPackageSource(source);
    const bool firmware = ExtensionOf(source) == "pd3";
    std::string line = target.filename().string();
    if (firmware) {
        // Firmware travels as an archive from which the updater unpacks the firmware file.
        ZipWriter zip(target);
        if (found) {
            zip.AddFile(BaseName(source), *found);
        } else {
            zip.Add(BaseName(source), PlaceholderText(what));
        }
        if (!zip.Finish()) {
            error = zip.Error();
            return false;
        }
    } else if (found) {
        std::error_code ec;
        fs::copy_file(*found, target, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            error = "cannot copy " + found->string() + ": " + ec.message();
            return false;
        }
    } else if (!WriteText(target, PlaceholderText(what))) {
        error = "cannot write " + target.string();
        return false;
    }
    made_.push_back(line + (found ? " from " + found->string() : " PLACEHOLDER for " + source));
    return true;
}

bool CatalogBuilder::MakePackage(const fs::path& folder, const SourcePackage& package, const SourceSpec& spec,
                                 const std::string& stem, std::string& description, std::string& real,
                                 std::string& error) {
    const std::string where = package.id + " " + spec.spec;
    const std::string ext = ExtensionOf(spec.source);
    const std::string type = ext == "pd3" ? "pdz" : ext;
    // The updater puts the type in place of the last three characters of the description's address.
    if (type.size() != 3 || type == "zip") {
        error = where + ": package " + spec.source +
                " needs a three-letter ending other than zip (pd3, pdz, exe, msi, ...)";
        return false;
    }
    if (!FindPackageSource(spec.source) && !options_.placeholders) {
        error = where + ": package " + spec.source + " is in none of " + SearchedFolders() +
                " (give its folder with --packages, or --placeholders)";
        return false;
    }
    description = stem + ".zip";
    real = stem + "." + type;
    fs::create_directories((folder / real).parent_path());
    if (!MakeRealPackage(folder / real, spec.source, package.id + " " + package.version + " for " + spec.spec,
                         error))
        return false;

    std::error_code ec;
    const std::string size = SizeText(fs::file_size(folder / real, ec));
    ZipWriter zip(folder / description);
    zip.Add("data.xml", DescriptionXml(package, DefaultText(package), type, size));
    for (const SourceText& text : package.texts) {
        zip.Add("data_" + text.lang + ".xml", DescriptionXml(package, text, type, size));
    }
    if (!package.thumbnail.empty()) {
        const fs::path image = options_.source / package.thumbnail;
        if (!fs::is_regular_file(image, ec)) {
            error = where + ": thumbnail " + image.string() + " does not exist";
            return false;
        }
        zip.AddFile(BaseName(package.thumbnail), image);
    }
    if (!zip.Finish()) {
        error = zip.Error();
        return false;
    }
    return true;
}

}  // namespace mkcatalog
