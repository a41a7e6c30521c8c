#include "RequestDocuments.h"

#include <cctype>
#include <pugixml.hpp>

std::string VersionCheckRequest(const std::string& name, const std::string& spec) {
    return "<?xml version='1.0' ?><RequestInfo><FirmUpdateToolInfo><FirmCategory>ES_TOOL</FirmCategory>"
           "<OS>WIN</OS><Area>ALL</Area><InspectMode>0</InspectMode></FirmUpdateToolInfo>"
           "<ModelInfo><Model><Name>" +
           name + "</Name><Spec>" + spec + "</Spec></Model></ModelInfo></RequestInfo>";
}

std::string NoticeRequest(const std::string& os, const std::string& locale) {
    return "<?xml version='1.0' ?><RequestInfo><Version>1.0</Version><FirmupdateToolSetting><OsInfo>"
           "<Version>" +
           os + "</Version><Locale>" + locale +
           "</Locale></OsInfo></FirmupdateToolSetting>"
           "<DisplayLevel>0</DisplayLevel><ModelInfo><Model><OrderNumber>1</OrderNumber><Name>SC-UPDATER</"
           "Name>"
           "<Spec>USA_USA</Spec><FirmInfo><Firm><Category></Category><Id>DUMMY</Id><Version>0</Version></"
           "Firm>"
           "</FirmInfo></Model></ModelInfo></RequestInfo>";
}

std::string FileUpdateRequest(const std::string& name, const std::string& spec, const std::string& category,
                              const std::string& id, const std::string& installedVersion) {
    return "<?xml version='1.0' ?><RequestInfo><FirmUpdateToolInfo><FirmCategory></FirmCategory><OS>WIN</OS>"
           "<Area>ALL</Area><InspectMode>0</InspectMode></FirmUpdateToolInfo><FirmUpdateInfo><Model>"
           "<SelialNo></SelialNo><Name>" +
           name + "</Name><Spec>" + spec + "</Spec><Driver>Corvane " + name + "</Driver><Firm><Category>" +
           category + "</Category><Id>" + id + "</Id><Version>" + installedVersion +
           "</Version></Firm></Model><DriverCnt></DriverCnt><LogNo>2</LogNo><NeedResponse>1</NeedResponse>"
           "</FirmUpdateInfo></RequestInfo>";
}

std::string Indented(const std::string& compactXml) {
    std::string out;
    int depth = 0;
    for (std::size_t i = 0; i < compactXml.size(); ++i) {
        const char c = compactXml[i];
        const bool closing = c == '<' && i + 1 < compactXml.size() && compactXml[i + 1] == '/';
        const bool opening = c == '<' && !closing && compactXml[i + 1] != '?';
        const bool afterTag = i > 0 && compactXml[i - 1] == '>';
        if (opening && afterTag) out += "\r\n" + std::string(2 * depth, ' ');
        if (closing && afterTag) out += "\r\n" + std::string(2 * std::max(depth - 1, 0), ' ');
        if (opening) ++depth;
        if (closing) --depth;
        out += c;
    }
    return out;
}

namespace {

std::string Trim(const char* text) {
    std::string s(text);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    std::size_t start = 0;
    while (start < s.size() && std::isspace(static_cast<unsigned char>(s[start]))) ++start;
    return s.substr(start);
}

std::string Compare(const pugi::xml_node& actual, const pugi::xml_node& expected, const std::string& path) {
    if (std::string(actual.name()) != expected.name()) {
        return path + ": element <" + actual.name() + "> where <" + expected.name() + "> was expected";
    }
    const std::string here = path + "/" + expected.name();
    if (Trim(actual.child_value()) != Trim(expected.child_value())) {
        return here + ": text \"" + Trim(actual.child_value()) + "\" where \"" +
               Trim(expected.child_value()) + "\" was expected";
    }
    pugi::xml_node a = actual.first_child();
    pugi::xml_node e = expected.first_child();
    const auto nextElement = [](pugi::xml_node n) {
        while (n && n.type() != pugi::node_element) n = n.next_sibling();
        return n;
    };
    for (a = nextElement(a), e = nextElement(e); a || e;
         a = nextElement(a.next_sibling()), e = nextElement(e.next_sibling())) {
        if (!a) return here + ": <" + std::string(e.name()) + "> is missing";
        if (!e) return here + ": unexpected <" + std::string(a.name()) + ">";
        if (std::string difference = Compare(a, e, here); !difference.empty()) return difference;
    }
    return {};
}

}  // namespace

std::string TreeDifference(const std::string& actualXml, const std::string& expectedXml) {
    pugi::xml_document actual;
    pugi::xml_document expected;
    if (!actual.load_string(actualXml.c_str())) return "the answer is not XML: " + actualXml;
    if (!expected.load_string(expectedXml.c_str())) return "the expected document is not XML";
    return Compare(actual.document_element(), expected.document_element(), "");
}
