// The zip reader: the central directory and the end records (ZipArchive), where each entry's data
// lies (LocateData), unpacking and checking each entry (DecodeEntry) and the checks of its name
// (EntryName), over an archive given as bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "ext/unzip32/ByteSource.h"
#include "ext/unzip32/EntryDecoder.h"
#include "ext/unzip32/EntryName.h"
#include "ext/unzip32/UnzipResults.h"
#include "ext/unzip32/ZipArchive.h"

namespace {

// The library's default limit (UNZIP32_DEFAULT_MAX_ENTRIES).
constexpr unsigned long kMaxEntries = 10000;

// Names as the library checks them; decoding them is the system's (code pages), so each byte stands
// for one character here.
std::wstring Widened(const std::string& raw) { return std::wstring(raw.begin(), raw.end()); }

void CheckName(const std::wstring& name) {
    for (const bool keepFolders : {true, false}) {
        const auto path = unzip32::SafeEntryPath(name, keepFolders, !keepFolders);
        if (!path) continue;
        // A path the checks let through stays below the target folder: no empty, "." or ".." part,
        // no drive or stream.
        FUZZ_CHECK(path->relative.find(L':') == std::wstring::npos);
        if (path->relative.empty()) continue;
        size_t start = 0;
        for (;;) {
            const size_t end = path->relative.find(L'\\', start);
            const std::wstring part = path->relative.substr(start, end - start);
            FUZZ_CHECK(!part.empty() && part != L"." && part != L"..");
            if (end == std::wstring::npos) break;
            start = end + 1;
        }
    }
    unzip32::MatchesPattern(name, name, true);
    FUZZ_CHECK(unzip32::MatchesPattern(L"*", name, false));
    FUZZ_CHECK(
        unzip32::MatchesPattern(name.find_first_of(L"*?") == std::wstring::npos ? name : L"*", name, false));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const unzip32::MemorySource source({data, size});
    unzip32::ZipArchive archive;
    if (archive.Open(source, kMaxEntries) != PK_OK) return 0;
    archive.CompressedTotal();
    for (const unzip32::ZipEntry& entry : archive.Entries()) CheckName(Widened(entry.rawName));
    if (archive.LocateData() != PK_OK) return 0;
    // No two entries share bytes of their data.
    std::vector<const unzip32::ZipEntry*> byOffset;
    for (const unzip32::ZipEntry& entry : archive.Entries()) byOffset.push_back(&entry);
    std::sort(byOffset.begin(), byOffset.end(),
              [](const auto* a, const auto* b) { return a->dataOffset < b->dataOffset; });
    for (size_t i = 1; i < byOffset.size(); ++i)
        FUZZ_CHECK(byOffset[i - 1]->dataOffset + byOffset[i - 1]->compressedSize <= byOffset[i]->dataOffset);
    for (const unzip32::ZipEntry& entry : archive.Entries()) {
        // Located data lies wholly inside the bytes.
        FUZZ_CHECK(entry.dataOffset <= size && entry.compressedSize <= size - entry.dataOffset);
        if (!unzip32::IsSupportedEntry(entry)) continue;
        uint64_t produced = 0;
        const int rc = unzip32::DecodeEntry(archive, entry, [&produced](const uint8_t*, size_t length) {
            produced += length;
            return true;
        });
        // Never more than the recorded size, and exactly it when the entry checks out.
        FUZZ_CHECK(produced <= entry.size);
        FUZZ_CHECK(rc != PK_OK || produced == entry.size);
    }
    return 0;
}
