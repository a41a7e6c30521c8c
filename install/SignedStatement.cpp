#include "SignedStatement.h"

#include <cstring>

#include "common/Format.h"
#include "common/Text.h"

namespace {

constexpr char kFirstLine[] = "ScUpdater statement 1";
constexpr const char* kFields[] = {"key",  "package", "spec",    "version",  "model",    "file",
                                   "size", "sha256",  "expires", "replaces", "signature"};
constexpr size_t kFieldCount = sizeof(kFields) / sizeof(kFields[0]);
// The longest value of a text field: names and versions are short.
constexpr size_t kMaxValueLength = 200;

bool IsLowerHex(const std::string& text, size_t length) {
    if (text.size() != length) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

int HexValue(char c) { return c <= '9' ? c - '0' : c - 'a' + 10; }

bool IsDecimal(const std::string& text) {
    if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0')) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// Printable ASCII or UTF-8 without control characters.
bool IsPlainText(const std::string& text) {
    if (text.size() > kMaxValueLength) return false;
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7f) return false;
    return true;
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Splits into lines ended by "\n"; false when the last line is not ended.
bool SplitLines(const std::string& bytes, std::vector<std::pair<size_t, std::string>>& lines) {
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = bytes.find('\n', start);
        if (end == std::string::npos) return false;
        lines.emplace_back(start, bytes.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

}  // namespace

namespace scup {

bool DecodeStrictBase64(const std::string& text, std::vector<BYTE>& bytes) {
    bytes.clear();
    if (text.empty() || text.size() % 4 != 0) return false;
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int values[4];
        int padding = 0;
        for (int j = 0; j < 4; ++j) {
            const char c = text[i + j];
            if (c == '=' && last && j >= 2) {
                values[j] = 0;
                ++padding;
                continue;
            }
            // Nothing but padding may follow padding.
            if (padding > 0) return false;
            values[j] = Base64Value(c);
            if (values[j] < 0) return false;
        }
        const unsigned triple = (values[0] << 18) | (values[1] << 12) | (values[2] << 6) | values[3];
        bytes.push_back(static_cast<BYTE>(triple >> 16));
        if (padding < 2) bytes.push_back(static_cast<BYTE>(triple >> 8));
        if (padding < 1) bytes.push_back(static_cast<BYTE>(triple));
        // Bits below the padding must be zero, so that one byte string has one text.
        if ((padding == 1 && (triple & 0xff) != 0) || (padding == 2 && (triple & 0xffff) != 0)) return false;
    }
    return true;
}

bool ParseUtcTime(const std::string& text, ULONGLONG& time) {
    // YYYY-MM-DDTHH:MM:SSZ
    static constexpr char kShape[] = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != sizeof(kShape) - 1) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (kShape[i] == 'd' ? (text[i] < '0' || text[i] > '9') : text[i] != kShape[i]) return false;
    }
    auto number = [&text](size_t at, size_t length) {
        int value = 0;
        for (size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
        return value;
    };
    SYSTEMTIME utc{};
    utc.wYear = static_cast<WORD>(number(0, 4));
    utc.wMonth = static_cast<WORD>(number(5, 2));
    utc.wDay = static_cast<WORD>(number(8, 2));
    utc.wHour = static_cast<WORD>(number(11, 2));
    utc.wMinute = static_cast<WORD>(number(14, 2));
    utc.wSecond = static_cast<WORD>(number(17, 2));
    FILETIME file{};
    if (utc.wYear < 1601 || !SystemTimeToFileTime(&utc, &file)) return false;
    // SystemTimeToFileTime takes 31 February; the round trip tells.
    SYSTEMTIME back{};
    if (!FileTimeToSystemTime(&file, &back) || back.wDay != utc.wDay || back.wMonth != utc.wMonth)
        return false;
    time = (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
    return true;
}

}  // namespace scup

bool ParseSignedStatement(const std::string& bytes, SSignedStatement& statement, std::wstring& why) {
    statement = SSignedStatement{};
    if (bytes.size() > kMaxStatementBytes) {
        why = L"the statement is longer than a statement can be";
        return false;
    }
    std::vector<std::pair<size_t, std::string>> lines;
    if (!SplitLines(bytes, lines) || lines.empty()) {
        why = L"the statement does not end with a whole line";
        return false;
    }
    if (lines[0].second != kFirstLine) {
        why = L"the statement is not of a form this program reads";
        return false;
    }
    if (lines.size() != kFieldCount + 1) {
        why = L"the statement does not hold exactly its fields";
        return false;
    }
    std::string values[kFieldCount];
    for (size_t i = 0; i < kFieldCount; ++i) {
        const std::string& line = lines[i + 1].second;
        const std::string prefix = std::string(kFields[i]) + ": ";
        if (line.compare(0, prefix.size(), prefix) != 0) {
            why = scup::FormatText(L"the statement's line %d is not its field \"%s\"",
                                   static_cast<int>(i + 2), scup::FromUtf8(kFields[i]).c_str());
            return false;
        }
        values[i] = line.substr(prefix.size());
    }
    const auto& [key, package, spec, version, model, file, size, sha256, expires, replaces, signature] =
        values;
    if (!IsLowerHex(key, 16)) {
        why = L"the statement's key is not a key name";
        return false;
    }
    for (const std::string* text : {&package, &spec, &version, &model, &file, &replaces}) {
        if (!IsPlainText(*text)) {
            why = L"the statement holds a text that is too long or not plain text";
            return false;
        }
    }
    if (package.empty() || spec.empty() || version.empty() || file.empty()) {
        why = L"the statement leaves the package, region, version or file name empty";
        return false;
    }
    if (!IsDecimal(size)) {
        why = L"the statement's size is not a number";
        return false;
    }
    if (!IsLowerHex(sha256, 64)) {
        why = L"the statement's SHA-256 is not 64 hex digits";
        return false;
    }
    ULONGLONG until = 0;
    if (!scup::ParseUtcTime(expires, until)) {
        why = L"the statement's time is not a time";
        return false;
    }
    std::vector<BYTE> rs;
    if (!scup::DecodeStrictBase64(signature, rs) || rs.size() != statement.signature.size()) {
        why = L"the statement's signature is not a P-256 signature";
        return false;
    }
    statement.keyId = scup::FromUtf8(key);
    statement.package = scup::FromUtf8(package);
    statement.spec = scup::FromUtf8(spec);
    statement.version = scup::FromUtf8(version);
    statement.model = scup::FromUtf8(model);
    statement.file = scup::FromUtf8(file);
    statement.replaces = scup::FromUtf8(replaces);
    statement.size = std::stoull(size);
    for (size_t i = 0; i < statement.sha256.size(); ++i)
        statement.sha256[i] = static_cast<BYTE>(HexValue(sha256[2 * i]) << 4 | HexValue(sha256[2 * i + 1]));
    statement.expires = until;
    std::memcpy(statement.signature.data(), rs.data(), rs.size());
    statement.signedPart = bytes.substr(0, lines.back().first);
    return true;
}
