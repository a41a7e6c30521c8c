#pragma once
// The files the simulated printer holds, as stored-file records, optionally kept in a state file
// so that a file sent in one run is listed in the next.
//
// State file: UTF-8 text, one file per line, '#' starts a comment line:
//   file type=6 model=0x2107 header=128 length=1300 name=FIRMWAREA version=1.02 spec=ENG_USA
// Values are percent-encoded (any byte outside '!'..'~', and '%' itself, as %XX); keys may be
// left out (numbers then are 0, texts empty, header 128).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/Pd3Header.h"

namespace printersim {

class StoredFiles {
  public:
    StoredFiles() = default;
    explicit StoredFiles(std::filesystem::path statePath) : statePath_(std::move(statePath)) {}

    // Reads the state file; a missing file is an empty printer.
    bool Load(std::string& error);
    // Keeps the record of an accepted file, replacing one of the same name in place, and saves the
    // state file. On failure nothing changes.
    bool Keep(const pd3::Block& record, std::string& error);

    const std::vector<pd3::Block>& Records() const { return records_; }
    // The reply to a list command: 2-byte record count, then each record cut to recordSize bytes.
    std::vector<std::uint8_t> Listing(std::size_t recordSize) const;

    static std::string Format(const std::vector<pd3::Block>& records);
    static std::optional<std::vector<pd3::Block>> Parse(const std::string& text, std::string& error);

  private:
    bool Save(const std::vector<pd3::Block>& records, std::string& error) const;

    std::filesystem::path statePath_;
    std::vector<pd3::Block> records_;
};

}  // namespace printersim
