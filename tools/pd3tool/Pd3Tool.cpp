#include "Pd3Tool.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>

#include "Pd3File.h"

namespace pd3tool {

const char* const kPd3ToolUsage =
    "usage: pd3tool make --model ID --type T --name N [--version V] [--spec S] [--header 64|128]\n"
    "                    (--data FILE | --size BYTES) [--format B] -o OUT.pd3\n"
    "       pd3tool show FILE.pd3\n"
    "Numbers are decimal or 0x hexadecimal. Version (5 bytes) and specification (7 bytes, such as\n"
    "ENG_USA) exist only in 128-byte headers; the name has 16 bytes.\n";

namespace {

std::optional<std::uint64_t> Number(const std::string& text, std::uint64_t max) {
    std::string_view v = text;
    int base = 10;
    if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) {
        v.remove_prefix(2);
        base = 16;
    }
    std::uint64_t n = 0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n, base);
    if (v.empty() || ec != std::errc() || end != v.data() + v.size() || n > max) return std::nullopt;
    return n;
}

std::string Printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= ' ' && c <= '~') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

int Fail(std::ostream& err, const std::string& why) {
    err << "pd3tool: " << why << "\n";
    return 2;
}

int Make(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    static const std::set<std::string> known = {"--model",  "--type", "--name", "--version", "--spec",
                                                "--header", "--data", "--size", "--format",  "-o"};
    std::map<std::string, std::string> given;
    for (std::size_t i = 1; i < args.size(); i += 2) {
        if (!known.count(args[i])) return Fail(err, "unknown option '" + args[i] + "'");
        if (i + 1 >= args.size()) return Fail(err, args[i] + " needs a value");
        if (!given.emplace(args[i], args[i + 1]).second) return Fail(err, args[i] + " given twice");
    }
    for (const char* required : {"--model", "--type", "--name", "-o"})
        if (!given.count(required)) return Fail(err, std::string("make needs ") + required);
    if (given.count("--data") == given.count("--size"))
        return Fail(err, "make needs one of --data and --size");

    pd3::Header h;
    auto model = Number(given["--model"], 0xFFFF);
    auto type = Number(given["--type"], 0xFF);
    auto header = Number(given.count("--header") ? given["--header"] : "128", 0xFF);
    auto format = Number(given.count("--format") ? given["--format"] : "1", 0xFF);
    if (!model) return Fail(err, "--model needs a number up to 0xFFFF");
    if (!type) return Fail(err, "--type needs a number up to 255");
    if (!header || (*header != 64 && *header != 128)) return Fail(err, "--header is 64 or 128");
    if (!format) return Fail(err, "--format needs a number up to 255");
    h.model = static_cast<std::uint16_t>(*model);
    h.type = static_cast<std::uint8_t>(*type);
    h.headerLength = static_cast<std::uint8_t>(*header);
    h.format = static_cast<std::uint8_t>(*format);
    h.name = given["--name"];
    h.version = given["--version"];
    h.spec = given["--spec"];

    std::vector<std::uint8_t> data;
    if (given.count("--data")) {
        std::ifstream in(given["--data"], std::ios::binary);
        if (!in) return Fail(err, "cannot read " + given["--data"]);
        data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
        auto size = Number(given["--size"], 0xFFFFFFFF);
        if (!size) return Fail(err, "--size needs a number of bytes");
        data = Pd3File::Filler(*size);
    }
    std::string error;
    if (!Pd3File::Write(given["-o"], h, data, error)) return Fail(err, error);
    out << given["-o"] << ": " << unsigned(h.headerLength) << "-byte header, " << data.size()
        << " bytes of data\n";
    return 0;
}

int Show(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) return Fail(err, "show needs one file");
    std::string error;
    std::uint64_t fileSize = 0;
    auto h = Pd3File::ReadHeader(args[1], fileSize, error);
    if (!h) return Fail(err, error);
    char model[8];
    std::snprintf(model, sizeof model, "0x%04X", h->model);
    out << "file:    " << args[1] << "\n"
        << "format:  " << unsigned(h->format) << "\n"
        << "header:  " << unsigned(h->headerLength) << " bytes\n"
        << "model:   " << model << "\n"
        << "type:    " << unsigned(h->type) << "\n"
        << "name:    " << Printable(h->name) << "\n";
    if (h->IsLong())
        out << "version: " << Printable(h->version) << "\n"
            << "spec:    " << Printable(h->spec) << "\n";
    out << "data:    " << h->dataLength << " bytes\n";
    std::uint64_t held = fileSize - h->headerLength;
    if (held != h->dataLength) {
        err << "pd3tool: " << args[1] << " holds " << held << " bytes of data, its header says "
            << h->dataLength << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int RunPd3Tool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        (args.empty() ? err : out) << kPd3ToolUsage;
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "make") return Make(args, out, err);
    if (args[0] == "show") return Show(args, out, err);
    err << "pd3tool: unknown command '" << args[0] << "'\n" << kPd3ToolUsage;
    return 2;
}

}  // namespace pd3tool
