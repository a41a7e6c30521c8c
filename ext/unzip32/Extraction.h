#pragma once
// One unpacking run: checks the whole archive first (names, collisions, methods, limits, where the
// data lies), then unpacks every file under a temporary name beside its own, and only when all of
// them have unpacked and checked out renames them to their names; a file they replace is kept aside
// until then. On any failure it removes the files and folders it made and puts back what it moved
// aside, so the target folder is left as it was found.

#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "EntryName.h"
#include "FileSource.h"
#include "ZipArchive.h"
#include "common/Handles.h"
#include "unzip32.h"

namespace unzip32 {

struct ExtractOptions {
    std::wstring archive;
    std::wstring target;  // empty: the current folder
    bool keepFolders = true;
    bool spaceToUnderscore = false;
    bool overwrite = false;  // replace existing files without asking
    bool prompt = false;     // ask the replace callback about existing files
    bool testOnly = false;
    bool ignoreCase = false;  // for the include and exclude patterns
    int quiet = 0;
    std::vector<std::wstring> include;
    std::vector<std::wstring> exclude;
    uint64_t maxTotalSize = UNZIP32_DEFAULT_MAX_TOTAL_SIZE;
    unsigned long maxEntries = UNZIP32_DEFAULT_MAX_ENTRIES;
};

class Extraction {
  public:
    // callbacks may be null.
    Extraction(ExtractOptions options, LPUSERFUNCTIONS callbacks);
    ~Extraction();
    Extraction(const Extraction&) = delete;
    Extraction& operator=(const Extraction&) = delete;

    // One of the PK_, IZ_ and UZ_ results of unzip32.h.
    int Run();

  private:
    struct PlannedEntry {
        const ZipEntry* entry;
        std::wstring name;  // as stored, decoded
        EntryPath path;
    };
    struct WrittenFile {
        std::wstring temporary;
        std::wstring final;
        bool existed;
        std::wstring backup;  // where the file that was there waits until the run has succeeded
        bool committed = false;
    };

    int OpenArchive();
    int Plan();
    int PlanEntry(const ZipEntry& entry);
    int ClaimNames(const PlannedEntry& planned);
    bool IsSelected(const std::wstring& name) const;
    int ResolveTarget();
    int CheckPlacement(const PlannedEntry& planned) const;
    int TestAll();
    int WriteAll();
    int WriteFileEntry(const PlannedEntry& planned);
    int DecodeInto(const PlannedEntry& planned, scup::UniqueFile file);
    bool MayReplace(const std::wstring& final);
    std::wstring FreeTemporaryName(const std::wstring& final) const;
    int EnsureFolder(const std::wstring& folder, bool insideTarget);
    int Commit();
    bool CommitOne(WrittenFile& file);
    void RollBack();
    bool AskToGoOn(const PlannedEntry& planned);
    void Report(bool error, const std::wstring& text) const;
    std::wstring FullPath(const std::wstring& relative) const { return target_ + L"\\" + relative; }

    ExtractOptions options_;
    LPUSERFUNCTIONS callbacks_;
    FileSource file_;
    ZipArchive archive_;
    std::wstring target_;  // full path, without a trailing backslash
    std::vector<PlannedEntry> plan_;
    std::set<std::wstring> fileKeys_;    // upper-case relative paths of the files to make
    std::set<std::wstring> folderKeys_;  // and of every folder they need
    std::vector<std::wstring> madeFolders_;
    std::vector<WrittenFile> written_;
    bool replaceAll_ = false;
    bool keepAll_ = false;
    bool done_ = false;
};

}  // namespace unzip32
