#pragma once
// A folder of the fuzz target's own for readers that take a folder: made once, removed at exit.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace fuzz {

inline const std::filesystem::path& ScratchFolder() {
    static const std::filesystem::path folder = [] {
        std::string pattern =
            (std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp") + std::string("/scup-fuzz-XXXXXX");
        if (!mkdtemp(pattern.data())) std::abort();
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(ScratchFolder(), ec);
        });
        return std::filesystem::path(pattern);
    }();
    return folder;
}

inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace fuzz
