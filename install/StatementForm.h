#pragma once
// The form of a signed statement (SignedStatement.h) read from its bytes: the fields as the UTF-8
// texts and the numbers they hold. Reading is strict: another first line, a field missing, added,
// repeated or out of order, a value that is not of its form, or anything after the signature line
// refuses the whole statement.

#include <array>
#include <string>
#include <vector>

struct SStatementForm {
    std::string keyId;
    std::string package;
    std::string spec;
    std::string version;
    std::string model;
    std::string file;
    unsigned long long size = 0;
    std::array<unsigned char, 32> sha256{};
    // UTC, in FILETIME units (100 ns since 1601).
    unsigned long long expires = 0;
    std::string replaces;
    // The bytes the signature covers, and the signature (r||s, 32 bytes each).
    std::string signedPart;
    std::array<unsigned char, 64> signature{};
};

// The longest statement read: a server that sends more is not sending a statement.
inline constexpr unsigned long long kMaxStatementBytes = 4096;

// False, with the reason in English, when the bytes are not exactly one statement of this form.
bool ReadStatementForm(const std::string& bytes, SStatementForm& form, std::wstring& why);

namespace scup {
// Standard Base64 with padding and nothing else; false for any other text.
bool DecodeStrictBase64(const std::string& text, std::vector<unsigned char>& bytes);
// "YYYY-MM-DDTHH:MM:SSZ" (from the year 1601 on) as FILETIME units; false for any other text or an
// impossible date or time of day.
bool ParseUtcTime(const std::string& text, unsigned long long& time);
}  // namespace scup
