#include "ExchangeResponder.h"

#include <cctype>
#include <pugixml.hpp>
#include <sstream>

#include "TextEncoding.h"
#include "VersionOrder.h"

namespace updateserver {
namespace {

// The request as the exchange reads it, or why it cannot be read.
struct ParsedRequest {
    pugi::xml_document doc;
    std::string error;
};

void ParseRequest(std::string_view body, ParsedRequest& request) {
    const bool utf16 = body.size() >= 2 &&
                       ((body[0] == '\xFF' && body[1] == '\xFE') || (body[0] == '\xFE' && body[1] == '\xFF'));
    pugi::xml_parse_result parsed;
    if (utf16) {
        parsed = request.doc.load_buffer(body.data(), body.size(), pugi::parse_default, pugi::encoding_auto);
    } else {
        // The declaration the updater sends names no encoding; its bytes are in the PC's code page.
        const std::string utf8 = RequestBytesToUtf8(body);
        parsed = request.doc.load_buffer(utf8.data(), utf8.size(), pugi::parse_default, pugi::encoding_utf8);
    }
    if (!parsed) {
        request.error = "not XML (" + std::string(parsed.description()) + " at byte " +
                        std::to_string(parsed.offset) + ")";
    } else if (!request.doc.document_element()) {
        request.error = "not XML (no element)";
    }
}

std::string Trimmed(const char* text) {
    std::string_view view(text);
    while (!view.empty() && std::isspace(static_cast<unsigned char>(view.front()))) view.remove_prefix(1);
    while (!view.empty() && std::isspace(static_cast<unsigned char>(view.back()))) view.remove_suffix(1);
    return std::string(view);
}

// Looks up required elements and remembers the first one that is missing.
class RequiredElements {
  public:
    explicit RequiredElements(const pugi::xml_node& base) : base_(base) {}

    pugi::xml_node Node(const char* path) {
        const pugi::xml_node node = base_.first_element_by_path(path);
        if (!node && missing_.empty()) missing_ = path;
        return node;
    }
    std::string Text(const char* path) { return Trimmed(Node(path).child_value()); }
    std::string Text(const pugi::xml_node& node, const char* path) {
        const pugi::xml_node child = node.first_element_by_path(path);
        if (!child && missing_.empty()) missing_ = path;
        return Trimmed(child.child_value());
    }

    bool Complete() const { return missing_.empty(); }
    const std::string& Missing() const { return missing_; }

  private:
    pugi::xml_node base_;
    std::string missing_;
};

Answer BadRequest(const char* exchange, const std::string& why) {
    Answer answer;
    answer.status = 400;
    answer.contentType = "text/plain";
    answer.note = std::string("bad ") + exchange + " request: " + why;
    answer.body = answer.note + "\n";
    return answer;
}

Answer MissingElement(const char* exchange, const std::string& path) {
    return BadRequest(exchange, "element " + path + " is missing");
}

std::string Serialized(const pugi::xml_document& doc) {
    std::ostringstream out;
    out << "<?xml version=\"1.0\"?>\n";
    doc.save(out, "  ", pugi::format_indent | pugi::format_no_declaration, pugi::encoding_utf8);
    return XmlAsAscii(out.str());
}

void AddText(pugi::xml_node parent, const char* name, const std::string& text) {
    parent.append_child(name).text().set(text.c_str());
}

// The model name of a printer the catalog does not know: its driver name without the maker's name.
std::string ModelNameOf(const std::string& printer) {
    const std::string prefix = std::string(kMakerName) + " ";
    if (printer.size() > prefix.size() &&
        EqualsIgnoringCase(std::string_view(printer).substr(0, prefix.size()), prefix))
        return printer.substr(prefix.size());
    return printer;
}

pugi::xml_node AddVersionCheckModel(pugi::xml_node modelInfo, const Catalog& catalog, const std::string& name,
                                    const std::string& spec, std::string& note) {
    const CatalogModel* model = catalog.FindModel(name);
    pugi::xml_node out = modelInfo.append_child("Model");
    AddText(out, "Name", model ? model->name : ModelNameOf(name));
    AddText(out, "Spec", spec);
    pugi::xml_node firmInfo = out.append_child("FirmInfo");
    const auto offer = catalog.Offer(model, spec);
    std::string ids;
    for (const CatalogPackage* p : offer) {
        pugi::xml_node firm = firmInfo.append_child("Firm");
        AddText(firm, "Category", p->category);
        AddText(firm, "Id", p->id);
        AddText(firm, "Version", p->version);
        ids += (ids.empty() ? "" : ",") + p->id;
    }
    if (!note.empty()) note += "; ";
    note += "Name=\"" + name + "\" Spec=\"" + spec + "\" -> " +
            (model ? "model " + model->name : std::string("unknown model")) + ", " +
            std::to_string(offer.size()) + " package(s)" + (ids.empty() ? "" : " " + ids);
    return out;
}

}  // namespace

std::string UrlEncodePath(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        if (std::isalnum(b) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

ExchangeResponder::ExchangeResponder(const Catalog& catalog, ChecksumCache& checksums, std::string filesUrl)
    : catalog_(catalog), checksums_(checksums), filesUrl_(std::move(filesUrl)) {}

std::string ExchangeResponder::FileUrl(const std::string& relativePath) const {
    return filesUrl_ + UrlEncodePath(relativePath);
}

bool ExchangeResponder::IsProbe(std::string_view body) {
    for (const char c : body) {
        if (!std::isspace(static_cast<unsigned char>(c)) && c != '\0') return false;
    }
    return true;
}

Answer ExchangeResponder::Probe() const {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("ResponseInfo");
    AddText(root.append_child("FirmUpdateToolInfo"), "Version", catalog_.Updater().version);
    Answer answer;
    answer.body = Serialized(doc);
    answer.note = "connection probe (no body)";
    return answer;
}

Answer ExchangeResponder::VersionCheck(std::string_view body) const {
    constexpr const char* kExchange = "version check";
    ParsedRequest request;
    ParseRequest(body, request);
    if (!request.error.empty()) return BadRequest(kExchange, request.error);

    RequiredElements required(request.doc);
    required.Node("RequestInfo/FirmUpdateToolInfo");
    const pugi::xml_node models = required.Node("RequestInfo/ModelInfo");
    required.Node("RequestInfo/ModelInfo/Model");
    if (!required.Complete()) return MissingElement(kExchange, required.Missing());

    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("ResponseInfo");
    AddText(root.append_child("FirmUpdateToolInfo"), "Version", catalog_.Updater().version);
    pugi::xml_node modelInfo = root.append_child("ModelInfo");
    Answer answer;
    for (const pugi::xml_node model : models.children("Model")) {
        const std::string name = required.Text(model, "Name");
        const std::string spec = required.Text(model, "Spec");
        if (!required.Complete())
            return MissingElement(kExchange, "RequestInfo/ModelInfo/Model/" + required.Missing());
        AddVersionCheckModel(modelInfo, catalog_, name, spec, answer.note);
    }
    answer.body = Serialized(doc);
    return answer;
}

Answer ExchangeResponder::Notice(std::string_view body) const {
    constexpr const char* kExchange = "notice";
    ParsedRequest request;
    ParseRequest(body, request);
    if (!request.error.empty()) return BadRequest(kExchange, request.error);

    RequiredElements required(request.doc);
    const std::string os = required.Text("RequestInfo/FirmupdateToolSetting/OsInfo/Version");
    const std::string locale = required.Text("RequestInfo/FirmupdateToolSetting/OsInfo/Locale");
    const std::string name = required.Text("RequestInfo/ModelInfo/Model/Name");
    const std::string spec =
        Trimmed(request.doc.first_element_by_path("RequestInfo/ModelInfo/Model/Spec").child_value());
    if (!required.Complete()) return MissingElement(kExchange, required.Missing());

    const CatalogUpdater& updater = catalog_.Updater();
    ChecksumCache::Facts facts;
    const std::filesystem::path package = catalog_.Folder() / updater.file;
    if (!checksums_.Get(package, facts)) {
        Answer failure;
        failure.status = 500;
        failure.contentType = "text/plain";
        failure.note = "notice: the updater package " + updater.file + " cannot be read";
        failure.body = failure.note + "\n";
        return failure;
    }

    pugi::xml_document doc;
    pugi::xml_node model = doc.append_child("ResponseInfo").append_child("ModelInfo").append_child("Model");
    AddText(model, "OrderNumber", "1");
    AddText(model, "Name", name);
    AddText(model, "Spec", spec);
    pugi::xml_node firm = model.append_child("FirmInfo").append_child("Firm");
    AddText(firm, "NewVersion", updater.version);
    AddText(firm, "DisplayVersion", updater.display);
    pugi::xml_node tool = firm.append_child("FirmUpdateTool");
    AddText(tool, "Jump", FileUrl(updater.file));
    AddText(tool, "FileSize", std::to_string(facts.size));
    AddText(tool, "CheckSum", facts.checksum);

    Answer answer;
    answer.body = Serialized(doc);
    answer.files.push_back({package, facts.size, facts.changed});
    answer.note = "OS=\"" + os + "\" Locale=\"" + locale + "\" -> updater " + updater.version + " (" +
                  updater.display + "), " + updater.file;
    return answer;
}

Answer ExchangeResponder::FileUpdate(std::string_view body) const {
    constexpr const char* kExchange = "file update";
    ParsedRequest request;
    ParseRequest(body, request);
    if (!request.error.empty()) return BadRequest(kExchange, request.error);

    RequiredElements required(request.doc);
    const std::string name = required.Text("RequestInfo/FirmUpdateInfo/Model/Name");
    const std::string spec = required.Text("RequestInfo/FirmUpdateInfo/Model/Spec");
    const std::string id = required.Text("RequestInfo/FirmUpdateInfo/Model/Firm/Id");
    const std::string installed = required.Text("RequestInfo/FirmUpdateInfo/Model/Firm/Version");
    const std::string driver =
        Trimmed(request.doc.first_element_by_path("RequestInfo/FirmUpdateInfo/Model/Driver").child_value());
    if (!required.Complete()) return MissingElement(kExchange, required.Missing());

    const CatalogModel* model = catalog_.FindModel(name);
    if (!model && !driver.empty()) model = catalog_.FindModel(driver);
    const CatalogPackage* package = catalog_.FindPackage(model, id, spec);

    Answer answer;
    answer.note =
        "Name=\"" + name + "\" Spec=\"" + spec + "\" Id=\"" + id + "\" Version=\"" + installed + "\" -> ";
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("ResponseInfo");
    if (!package) {
        // Without file update information the updater drops just this entry and goes on with the others.
        AddText(root, "Message", "no package " + id + " for " + spec);
        answer.note += "unknown package";
    } else {
        const bool newer = CompareVersions(package->version, installed.empty() ? "0" : installed) > 0;
        pugi::xml_node info = root.append_child("FirmUpdateInfo");
        AddText(info, "VersionCheck", newer ? "0" : "1");
        pugi::xml_node firm = info.append_child("Firm");
        AddText(firm, "Category", package->category);
        AddText(firm, "Id", package->id);
        AddText(firm, "Version", package->version);
        AddText(firm, "Path", FileUrl(package->description));
        answer.note += (newer ? "VersionCheck=0 (" : "VersionCheck=1 (not newer: ") + package->version +
                       "), " + package->description;
    }
    answer.body = Serialized(doc);
    return answer;
}

}  // namespace updateserver
