#include "StoredFiles.h"

#include "common/AtomicFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "Numbers.h"

namespace printersim {
namespace {

std::string Encode(const std::string& value) {
    std::string out;
    for (unsigned char c : value) {
        if (c > ' ' && c <= '~' && c != '%') {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

std::optional<std::string> Decode(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            out += value[i];
            continue;
        }
        if (i + 2 >= value.size() || !std::isxdigit(static_cast<unsigned char>(value[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(value[i + 2])))
            return std::nullopt;
        out += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return out;
}

std::optional<pd3::Block> ParseLine(const std::string& line, std::string& error) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    if (word != "file") {
        error = "expected 'file' at the start of the line";
        return std::nullopt;
    }
    pd3::Header h;
    h.format = 0;
    while (words >> word) {
        auto eq = word.find('=');
        if (eq == std::string::npos) {
            error = "expected key=value, found '" + word + "'";
            return std::nullopt;
        }
        std::string key = word.substr(0, eq);
        auto value = Decode(word.substr(eq + 1));
        if (!value) {
            error = "bad percent escape in '" + word + "'";
            return std::nullopt;
        }
        std::optional<std::uint64_t> n;
        if (key == "name") {
            h.name = *value;
        } else if (key == "version") {
            h.version = *value;
        } else if (key == "spec") {
            h.spec = *value;
        } else if (key == "type" && (n = ParseNumber(*value, 0xFF))) {
            h.type = static_cast<std::uint8_t>(*n);
        } else if (key == "format" && (n = ParseNumber(*value, 0xFF))) {
            h.format = static_cast<std::uint8_t>(*n);
        } else if (key == "model" && (n = ParseNumber(*value, 0xFFFF))) {
            h.model = static_cast<std::uint16_t>(*n);
        } else if (key == "header" && (n = ParseNumber(*value, 0xFF))) {
            h.headerLength = static_cast<std::uint8_t>(*n);
        } else if (key == "length" && (n = ParseNumber(*value, 0xFFFFFFFF))) {
            h.dataLength = static_cast<std::uint32_t>(*n);
        } else {
            error = "unknown key or bad number in '" + word + "'";
            return std::nullopt;
        }
    }
    if (auto problem = h.Problem(); !problem.empty()) {
        error = problem;
        return std::nullopt;
    }
    return h.Encode();
}

std::string NameOf(const pd3::Block& record) { return pd3::Header::Decode(record)->name; }

}  // namespace

bool StoredFiles::Load(std::string& error) {
    records_.clear();
    if (statePath_.empty()) return true;
    std::ifstream in(statePath_, std::ios::binary);
    if (!in) {
        if (!std::filesystem::exists(statePath_)) return true;
        error = "cannot read " + statePath_.string();
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    auto records = Parse(text.str(), error);
    if (!records) {
        error = statePath_.string() + ": " + error;
        return false;
    }
    records_ = std::move(*records);
    return true;
}

bool StoredFiles::Keep(const pd3::Block& record, std::string& error) {
    auto records = records_;
    auto name = NameOf(record);
    auto same =
        std::find_if(records.begin(), records.end(), [&](const pd3::Block& r) { return NameOf(r) == name; });
    if (same != records.end())
        *same = record;
    else
        records.push_back(record);
    if (records.size() > 0xFFFF) {
        error = "the printer holds as many files as its list can count";
        return false;
    }
    if (!Save(records, error)) return false;
    records_ = std::move(records);
    return true;
}

std::vector<std::uint8_t> StoredFiles::Listing(std::size_t recordSize) const {
    std::vector<std::uint8_t> out;
    out.push_back(static_cast<std::uint8_t>(records_.size() & 0xFF));
    out.push_back(static_cast<std::uint8_t>(records_.size() >> 8));
    for (const auto& r : records_) out.insert(out.end(), r.begin(), r.begin() + recordSize);
    return out;
}

std::string StoredFiles::Format(const std::vector<pd3::Block>& records) {
    std::ostringstream out;
    out << "# printersim stored files\n";
    for (const auto& r : records) {
        auto h = *pd3::Header::Decode(r);
        char numbers[128];
        std::snprintf(numbers, sizeof numbers, "file type=%u format=%u model=0x%04X header=%u length=%u",
                      h.type, h.format, h.model, h.headerLength, h.dataLength);
        out << numbers << " name=" << Encode(h.name);
        if (h.IsLong()) out << " version=" << Encode(h.version) << " spec=" << Encode(h.spec);
        out << "\n";
    }
    return out.str();
}

std::optional<std::vector<pd3::Block>> StoredFiles::Parse(const std::string& text, std::string& error) {
    std::vector<pd3::Block> records;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        std::string why;
        auto record = ParseLine(line.substr(first), why);
        if (!record) {
            error = "line " + std::to_string(number) + ": " + why;
            return std::nullopt;
        }
        records.push_back(*record);
    }
    return records;
}

bool StoredFiles::Save(const std::vector<pd3::Block>& records, std::string& error) const {
    if (statePath_.empty()) return true;
    return toolsfile::WriteAtomically(statePath_, ".tmp", [&](std::ostream& out) { out << Format(records); }, error);
}

}  // namespace printersim
