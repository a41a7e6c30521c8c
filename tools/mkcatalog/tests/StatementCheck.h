#pragma once
// Reads and verifies signed statements the way the updater does, written from the statement format
// alone: the layout line by line, the key from its public point X||Y, the signature from r||s.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct ReadStatement {
    std::map<std::string, std::string> fields;  // "key", "package", ... "replaces", "signature"
    std::string message;                        // the signed bytes: up to the end of the "replaces:" line
    std::vector<std::uint8_t> signature;        // r||s
};

// The statement when its text has exactly the format's lines in order; else nullopt and why.
std::optional<ReadStatement> ParseStatement(const std::string& text, std::string& why);
// Standard Base64 with padding; nullopt for anything else.
std::optional<std::vector<std::uint8_t>> DecodeBase64(const std::string& text);
// The public point X||Y of a NAME.pub file (Base64 on one line); empty when it cannot be read.
std::vector<std::uint8_t> ReadPublicPoint(const std::filesystem::path& file);
std::string KeyIdOf(const std::vector<std::uint8_t>& point);
std::string Sha256Hex(const std::string& bytes);
// ECDSA P-256 over SHA-256 of the message, with the signature r||s and the public point X||Y.
bool VerifySignature(const std::string& message, const std::vector<std::uint8_t>& signature,
                     const std::vector<std::uint8_t>& point);
