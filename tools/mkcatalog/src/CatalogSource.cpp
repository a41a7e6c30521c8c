#include "CatalogSource.h"

#include <algorithm>
#include <cctype>
#include <pugixml.hpp>

namespace mkcatalog {
namespace {

// Names that become parts of file names on the server and on the PCs.
bool IsPlainName(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
    });
}

bool IsLanguage(const std::string& text) {
    return text.size() == 3 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

std::string Trimmed(const char* text) {
    std::string s(text);
    const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
    s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
    return s;
}

class Reader {
  public:
    bool Failed() const { return !error_.empty(); }
    const std::string& Error() const { return error_; }

    void Fail(const std::string& where, const std::string& what) {
        if (error_.empty()) error_ = std::string(kSourceFileName) + ": " + where + ": " + what;
    }
    std::string Required(const pugi::xml_node& node, const char* attribute, const std::string& where) {
        const std::string value = node.attribute(attribute).value();
        if (value.empty()) Fail(where, std::string("attribute \"") + attribute + "\" is missing or empty");
        return value;
    }
    std::string Name(const pugi::xml_node& node, const char* attribute, const std::string& where) {
        const std::string value = Required(node, attribute, where);
        if (!value.empty() && !IsPlainName(value)) {
            Fail(where,
                 std::string("\"") + attribute + "\" may hold only letters, digits, \"-\", \"_\" and \".\"");
        }
        return value;
    }

    SourcePackage Package(const pugi::xml_node& node, const std::string& scope) {
        SourcePackage p;
        const std::string where =
            scope + " <Package id=\"" + std::string(node.attribute("id").value()) + "\">";
        p.id = Name(node, "id", where);
        p.category = Name(node, "category", where);
        p.version = Name(node, "version", where);
        p.thumbnail = node.attribute("thumbnail").value();
        p.link = node.attribute("link").value();
        if (*node.attribute("replaces").value()) p.replaces = Name(node, "replaces", where);
        for (const pugi::xml_node spec : node.children("Spec")) {
            SourceSpec s;
            s.spec = Name(spec, "value", where + " <Spec>");
            s.source = Required(spec, "source", where + " <Spec value=\"" + s.spec + "\">");
            p.specs.push_back(s);
        }
        if (p.specs.empty()) Fail(where, "no <Spec> names a language-region and its package");
        for (const pugi::xml_node text : node.children("Text")) {
            SourceText t;
            t.lang = Required(text, "lang", where + " <Text>");
            if (!t.lang.empty() && !IsLanguage(t.lang)) {
                Fail(where, "lang=\"" + t.lang + "\" is not a three-letter abbreviation such as ENG");
            }
            t.title = Required(text, "title", where + " <Text lang=\"" + t.lang + "\">");
            t.description = Trimmed(text.child_value());
            t.link = text.attribute("link").value();
            for (const SourceText& other : p.texts) {
                if (other.lang == t.lang) Fail(where, "two texts for " + t.lang);
            }
            p.texts.push_back(t);
        }
        if (p.texts.empty()) Fail(where, "no <Text> gives its title and description");
        return p;
    }

  private:
    std::string error_;
};

}  // namespace

std::optional<CatalogSource> CatalogSource::Load(const std::filesystem::path& folder, std::string& error) {
    const std::filesystem::path file = folder / kSourceFileName;
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(file.c_str());
    if (!parsed) {
        error = file.string() + ": " + parsed.description() + " at byte " + std::to_string(parsed.offset);
        return std::nullopt;
    }
    Reader reader;
    CatalogSource source;
    const pugi::xml_node root = doc.child("CatalogSource");
    if (!root) reader.Fail("document", "the root element must be <CatalogSource>");
    const pugi::xml_node updater = root.child("Updater");
    if (!reader.Failed() && !updater) reader.Fail("<CatalogSource>", "<Updater> is missing");
    if (!reader.Failed()) {
        source.updater.version = reader.Name(updater, "version", "<Updater>");
        source.updater.display = updater.attribute("display").as_string(source.updater.version.c_str());
        for (const pugi::xml_node f : updater.children("File")) {
            source.updater.files.push_back(reader.Required(f, "source", "<Updater> <File>"));
        }
        if (source.updater.files.empty()) reader.Fail("<Updater>", "no <File> names the updater's files");
    }
    for (const pugi::xml_node node : root.children("Model")) {
        if (reader.Failed()) break;
        SourceModel model;
        model.name = reader.Name(node, "name", "<Model>");
        model.driver = node.attribute("driver").value();
        for (const pugi::xml_node p : node.children("Package"))
            model.packages.push_back(reader.Package(p, "<Model name=\"" + model.name + "\">"));
        source.models.push_back(model);
    }
    for (const pugi::xml_node node : root.children("Software")) {
        for (const pugi::xml_node p : node.children("Package")) {
            if (reader.Failed()) break;
            source.software.push_back(reader.Package(p, "<Software>"));
        }
    }
    if (reader.Failed()) {
        error = reader.Error();
        return std::nullopt;
    }
    return source;
}

}  // namespace mkcatalog
