#pragma once
// The real Info-ZIP programs (Debian package unzip) run on archives, to see them as other tools do.

#include <filesystem>
#include <string>
#include <vector>

struct CommandResult {
    int exitCode = -1;
    std::string output;  // standard output and standard error
};

CommandResult RunCommand(const std::vector<std::string>& arguments);
// Entry names as "unzip -Z1" lists them; empty when unzip cannot read the archive.
std::vector<std::string> UnzipNames(const std::filesystem::path& zip);
// "unzip -t": true when every entry decompresses with the right checksum.
bool UnzipTests(const std::filesystem::path& zip);
std::string UnzipEntry(const std::filesystem::path& zip, const std::string& name);
// Each entry's compression method as zipinfo abbreviates it ("defX", "defN", "stor", ...), in order.
std::vector<std::string> UnzipMethods(const std::filesystem::path& zip);

std::filesystem::path MakeTempDir(const std::string& stem);
std::string ReadWholeFile(const std::filesystem::path& path);
void WriteWholeFile(const std::filesystem::path& path, const std::string& content);
