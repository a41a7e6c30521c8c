#include "StatementForm.h"

#include <cstring>

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

// Days from 1 January 1601 to the date, in the Gregorian calendar.
unsigned long long DaysSince1601(int year, int month, int day) {
    // Counted from 1 March, so that a leap day ends its year.
    const int y = month <= 2 ? year - 1 : year;
    const int m = month <= 2 ? month + 9 : month - 3;
    const long long days = 365LL * y + y / 4 - y / 100 + y / 400 + (153 * m + 2) / 5 + day - 1;
    const int y0 = 1600;  // 1 January 1601 is day 306 of the year from 1 March 1600
    const long long start = 365LL * y0 + y0 / 4 - y0 / 100 + y0 / 400 + (153 * 10 + 2) / 5;
    return static_cast<unsigned long long>(days - start);
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

namespace scup {

bool DecodeStrictBase64(const std::string& text, std::vector<unsigned char>& bytes) {
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
        bytes.push_back(static_cast<unsigned char>(triple >> 16));
        if (padding < 2) bytes.push_back(static_cast<unsigned char>(triple >> 8));
        if (padding < 1) bytes.push_back(static_cast<unsigned char>(triple));
        // Bits below the padding must be zero, so that one byte string has one text.
        if ((padding == 1 && (triple & 0xff) != 0) || (padding == 2 && (triple & 0xffff) != 0)) return false;
    }
    return true;
}

bool ParseUtcTime(const std::string& text, unsigned long long& time) {
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
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
    if (hour > 23 || minute > 59 || second > 59) return false;
    const unsigned long long seconds =
        ((DaysSince1601(year, month, day) * 24 + hour) * 60 + minute) * 60 + second;
    time = seconds * 10'000'000ULL;
    return true;
}

}  // namespace scup

bool ReadStatementForm(const std::string& bytes, SStatementForm& form, std::wstring& why) {
    form = SStatementForm{};
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
            const std::string field = kFields[i];
            why = L"the statement's line " + std::to_wstring(i + 2) + L" is not its field \"" +
                  std::wstring(field.begin(), field.end()) + L"\"";
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
    unsigned long long until = 0;
    if (!scup::ParseUtcTime(expires, until)) {
        why = L"the statement's time is not a time";
        return false;
    }
    std::vector<unsigned char> rs;
    if (!scup::DecodeStrictBase64(signature, rs) || rs.size() != form.signature.size()) {
        why = L"the statement's signature is not a P-256 signature";
        return false;
    }
    form.keyId = key;
    form.package = package;
    form.spec = spec;
    form.version = version;
    form.model = model;
    form.file = file;
    form.replaces = replaces;
    form.size = std::stoull(size);
    for (size_t i = 0; i < form.sha256.size(); ++i)
        form.sha256[i] =
            static_cast<unsigned char>(HexValue(sha256[2 * i]) << 4 | HexValue(sha256[2 * i + 1]));
    form.expires = until;
    std::memcpy(form.signature.data(), rs.data(), rs.size());
    form.signedPart = bytes.substr(0, lines.back().first);
    return true;
}
