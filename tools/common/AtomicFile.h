#pragma once
// Writes a file whole or not at all: the bytes go to a temporary file beside it, which then
// replaces the file in one rename, so that a crash leaves either the old file or the new one.

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>

namespace toolsfile {

// The temporary file is the path with tempSuffix appended.
inline bool WriteAtomically(const std::filesystem::path& path, const std::string& tempSuffix,
                            const std::function<void(std::ostream&)>& write, std::string& error) {
    auto temp = path;
    temp += tempSuffix;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        write(out);
        out.flush();
        if (!out) {
            error = "cannot write " + temp.string();
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        error = "cannot replace " + path.string() + ": " + ec.message();
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

}  // namespace toolsfile
