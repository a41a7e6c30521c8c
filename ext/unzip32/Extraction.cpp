#include "Extraction.h"

#include <algorithm>
#include <climits>

#include "EntryDecoder.h"

namespace unzip32 {
namespace {

// Room kept for the temporary suffix (".~uz" and up to eight hex digits).
constexpr size_t kTemporarySuffixRoom = 12;

std::string ToAnsi(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(length, 0)), '\0');
    if (length > 0) WideCharToMultiByte(CP_ACP, 0, text.data(), size, out.data(), length, nullptr, nullptr);
    return out;
}

std::wstring UpperKey(const std::wstring& path) {
    std::wstring key = path;
    if (!key.empty())
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.c_str(), static_cast<int>(path.size()),
                      key.data(), static_cast<int>(key.size()), nullptr, nullptr, 0);
    return key;
}

std::wstring ParentOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool StartsWithIgnoringCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() &&
           CompareStringOrdinal(text.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

unsigned long Clamp(uint64_t value) {
    return static_cast<unsigned long>(std::min<uint64_t>(value, ULONG_MAX));
}

void SetEntryTime(HANDLE file, const ZipEntry& entry) {
    FILETIME local{}, utc{};
    if (DosDateTimeToFileTime(entry.dosDate, entry.dosTime, &local) && LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(file, nullptr, nullptr, &utc);
}

bool WriteBytes(HANDLE file, const uint8_t* data, size_t length) {
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(file, data, static_cast<DWORD>(length), &written, nullptr) || written == 0)
            return false;
        data += written;
        length -= written;
    }
    return true;
}

}  // namespace

Extraction::Extraction(ExtractOptions options, LPUSERFUNCTIONS callbacks)
    : options_(std::move(options)), callbacks_(callbacks) {}

Extraction::~Extraction() {
    if (!done_) RollBack();
}

int Extraction::Run() {
    int rc = OpenArchive();
    if (rc == PK_OK) rc = Plan();
    if (rc == PK_OK) rc = options_.testOnly ? TestAll() : WriteAll();
    if (rc == PK_OK && !options_.testOnly) rc = Commit();
    if (rc != PK_OK) RollBack();
    done_ = true;
    return rc;
}

int Extraction::OpenArchive() {
    if (!file_.Open(options_.archive)) return PK_NOZIP;
    int rc = archive_.Open(file_, options_.maxEntries);
    if (rc == UZ_LIMIT) Report(true, L"refused: the archive holds more entries than allowed");
    if (rc != PK_OK) return rc;
    if (callbacks_) {
        uint64_t total = 0;
        for (const ZipEntry& entry : archive_.Entries()) total = AddCapped(total, entry.size);
        const uint64_t packed = archive_.CompressedTotal();
        callbacks_->TotalSizeComp = Clamp(packed);
        callbacks_->TotalSize = Clamp(total);
        callbacks_->CompFactor = (total == 0 || packed >= total) ? 0 : Clamp(100 - packed * 100 / total);
        callbacks_->NumMembers = Clamp(archive_.Entries().size());
        callbacks_->cchComment = archive_.CommentLength();
    }
    return archive_.LocateData();
}

bool Extraction::IsSelected(const std::wstring& name) const {
    std::wstring slashed = name;
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
    auto matches = [&](const std::wstring& pattern) {
        return MatchesPattern(pattern, slashed, options_.ignoreCase);
    };
    if (!options_.include.empty() && std::none_of(options_.include.begin(), options_.include.end(), matches))
        return false;
    return std::none_of(options_.exclude.begin(), options_.exclude.end(), matches);
}

int Extraction::Plan() {
    if (int rc = ResolveTarget(); rc != PK_OK) return rc;
    for (const ZipEntry& entry : archive_.Entries())
        if (int rc = PlanEntry(entry); rc != PK_OK) return rc;
    if (plan_.empty() && !options_.include.empty()) return PK_FIND;
    uint64_t total = 0;
    for (const PlannedEntry& planned : plan_) total = AddCapped(total, planned.entry->size);
    if (total > options_.maxTotalSize) {
        Report(true, L"refused: the archive unpacks to more than the size limit");
        return UZ_LIMIT;
    }
    return PK_OK;
}

int Extraction::PlanEntry(const ZipEntry& entry) {
    const std::wstring name = DecodeEntryName(entry.rawName, entry.utf8);
    if (!name.empty() && !IsSelected(name)) return PK_OK;
    std::optional<EntryPath> path = SafeEntryPath(name, options_.keepFolders, options_.spaceToUnderscore);
    if (!path) {
        Report(true, L"refused: unsafe entry name \"" + name + L"\"");
        return UZ_UNSAFE;
    }
    if (path->directory && entry.size != 0) return PK_BADERR;
    if (!IsSupportedEntry(entry)) {
        Report(true, L"unsupported: \"" + name + L"\" is encrypted or packed with an unknown method");
        return IZ_UNSUP;
    }
    if (path->relative.empty()) return PK_OK;  // a folder, and folders are not kept
    PlannedEntry planned{&entry, name, *path};
    if (int rc = ClaimNames(planned); rc != PK_OK) return rc;
    if (int rc = CheckPlacement(planned); rc != PK_OK) return rc;
    plan_.push_back(std::move(planned));
    return PK_OK;
}

// Two entries for one file, or a file where another entry needs a folder, would leave it to the
// order of the archive which one is seen: such archives are refused.
int Extraction::ClaimNames(const PlannedEntry& planned) {
    const std::wstring key = UpperKey(planned.path.relative);
    bool collides = fileKeys_.count(key) > 0 || (!planned.path.directory && folderKeys_.count(key) > 0);
    (planned.path.directory ? folderKeys_ : fileKeys_).insert(key);
    for (std::wstring parent = ParentOf(key); !parent.empty(); parent = ParentOf(parent)) {
        collides = collides || fileKeys_.count(parent) > 0;
        folderKeys_.insert(parent);
    }
    if (!collides) return PK_OK;
    Report(true, L"refused: names collide at \"" + planned.name + L"\"");
    return UZ_UNSAFE;
}

int Extraction::ResolveTarget() {
    std::wstring folder = options_.target;
    if (folder.empty()) folder = L".";
    wchar_t full[MAX_PATH];
    const DWORD length = GetFullPathNameW(folder.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) return PK_PARAM;
    target_.assign(full, length);
    while (target_.size() > 3 && target_.back() == L'\\') target_.pop_back();
    if (target_.back() == L'\\') target_.pop_back();  // a drive's root: "C:" + "\\" + name
    return PK_OK;
}

// The checked name cannot leave the target folder; the system's own resolution of the path must
// agree, and the path must fit the system's limit with room for the temporary name.
int Extraction::CheckPlacement(const PlannedEntry& planned) const {
    const std::wstring path = FullPath(planned.path.relative);
    wchar_t resolved[MAX_PATH];
    const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, resolved, nullptr);
    if (length == 0 || length + kTemporarySuffixRoom >= MAX_PATH) {
        Report(true, L"refused: the path of \"" + planned.name + L"\" is too long");
        return UZ_UNSAFE;
    }
    const std::wstring result(resolved, length);
    if (!StartsWithIgnoringCase(result, target_ + L"\\") || result.size() <= target_.size() + 1) {
        Report(true, L"refused: \"" + planned.name + L"\" would be written outside the target folder");
        return UZ_UNSAFE;
    }
    return PK_OK;
}

bool Extraction::AskToGoOn(const PlannedEntry& planned) {
    if (!callbacks_ || !callbacks_->ServCallBk) return true;
    const std::string name = ToAnsi(planned.name);
    return callbacks_->ServCallBk(name.c_str(), Clamp(planned.entry->size)) == 0;
}

int Extraction::TestAll() {
    const OutputSink discard = [](const uint8_t*, size_t) { return true; };
    for (const PlannedEntry& planned : plan_) {
        if (!AskToGoOn(planned)) return IZ_CTRLC;
        if (planned.path.directory) continue;
        if (int rc = DecodeEntry(archive_, *planned.entry, discard); rc != PK_OK) {
            Report(true, L"damaged: \"" + planned.name + L"\"");
            return rc;
        }
        Report(false, L"tested: " + planned.name);
    }
    return PK_OK;
}

int Extraction::WriteAll() {
    if (int rc = EnsureFolder(target_, false); rc != PK_OK) return rc;
    for (const PlannedEntry& planned : plan_) {
        if (!AskToGoOn(planned)) return IZ_CTRLC;
        const int rc = planned.path.directory ? EnsureFolder(FullPath(planned.path.relative), true)
                                              : WriteFileEntry(planned);
        if (rc != PK_OK) return rc;
    }
    return PK_OK;
}

// Makes the folder and any missing parent, remembering each one made. Inside the target folder
// every part must be a real folder: a link there could lead the files elsewhere.
int Extraction::EnsureFolder(const std::wstring& folder, bool insideTarget) {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return PK_DISK;
        if (insideTarget && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return UZ_UNSAFE;
        return PK_OK;
    }
    const std::wstring parent = ParentOf(folder);
    if (parent.empty() || parent == folder) return PK_DISK;
    const bool parentInside = insideTarget && parent.size() > target_.size();
    if (int rc = EnsureFolder(parent, parentInside); rc != PK_OK) return rc;
    if (!CreateDirectoryW(folder.c_str(), nullptr)) {
        Report(true, L"cannot make the folder " + folder);
        return PK_DISK;
    }
    madeFolders_.push_back(folder);
    return PK_OK;
}

bool Extraction::MayReplace(const std::wstring& final) {
    if (options_.overwrite || replaceAll_) return true;
    if (keepAll_ || !options_.prompt || !callbacks_ || !callbacks_->replace) return false;
    std::string name = ToAnsi(final);
    name.push_back('\0');
    switch (const int answer = callbacks_->replace(name.data())) {
        case 0:
        case IDM_REPLACE_NO:
            return false;
        case IDM_REPLACE_NONE:
            keepAll_ = true;
            return false;
        case IDM_REPLACE_ALL:
            replaceAll_ = true;
            return true;
        default:
            return answer != 0;
    }
}

// Beside the file, not yet there, and not the name of any other entry of the archive.
std::wstring Extraction::FreeTemporaryName(const std::wstring& final) const {
    for (unsigned counter = 0;; ++counter) {
        wchar_t suffix[16];
        swprintf(suffix, 16, L".~uz%x", counter);
        const std::wstring candidate = final + suffix;
        const std::wstring key = UpperKey(candidate.substr(target_.size() + 1));
        if (fileKeys_.count(key) || folderKeys_.count(key)) continue;
        if (GetFileAttributesW(candidate.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        return candidate;
    }
}

int Extraction::WriteFileEntry(const PlannedEntry& planned) {
    const std::wstring final = FullPath(planned.path.relative);
    if (int rc = EnsureFolder(ParentOf(final), ParentOf(final).size() > target_.size()); rc != PK_OK)
        return rc;
    const DWORD attributes = GetFileAttributesW(final.c_str());
    const bool existed = attributes != INVALID_FILE_ATTRIBUTES;
    if (existed && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Report(true, L"a folder stands where \"" + planned.name + L"\" goes");
        return PK_DISK;
    }
    if (existed && !MayReplace(final)) {
        Report(false, L"kept: " + planned.name);
        return PK_OK;
    }
    const std::wstring temporary = FreeTemporaryName(final);
    scup::UniqueFile file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        Report(true, L"cannot write \"" + planned.name + L"\"");
        return PK_DISK;
    }
    written_.push_back({temporary, final, existed, {}, false});
    if (int rc = DecodeInto(planned, std::move(file)); rc != PK_OK) {
        Report(true, (rc == PK_DISK ? L"cannot write \"" : L"damaged: \"") + planned.name + L"\"");
        return rc;
    }
    Report(false, L"unpacked: " + planned.name);
    return PK_OK;
}

int Extraction::DecodeInto(const PlannedEntry& planned, scup::UniqueFile file) {
    const OutputSink sink = [&file](const uint8_t* data, size_t length) {
        return WriteBytes(file.get(), data, length);
    };
    if (int rc = DecodeEntry(archive_, *planned.entry, sink); rc != PK_OK) return rc;
    SetEntryTime(file.get(), *planned.entry);
    return CloseHandle(file.release()) ? PK_OK : PK_DISK;
}

int Extraction::Commit() {
    for (WrittenFile& file : written_) {
        if (!CommitOne(file)) {
            Report(true, L"cannot put the file in place: " + file.final);
            return PK_DISK;
        }
    }
    for (const WrittenFile& file : written_)
        if (!file.backup.empty()) DeleteFileW(file.backup.c_str());
    return PK_OK;
}

bool Extraction::CommitOne(WrittenFile& file) {
    if (file.existed) {
        const std::wstring backup = FreeTemporaryName(file.final);
        if (!MoveFileExW(file.final.c_str(), backup.c_str(), 0)) return false;
        file.backup = backup;
    }
    file.committed = MoveFileExW(file.temporary.c_str(), file.final.c_str(), 0) != 0;
    return file.committed;
}

void Extraction::RollBack() {
    for (auto it = written_.rbegin(); it != written_.rend(); ++it) {
        DeleteFileW((it->committed ? it->final : it->temporary).c_str());
        if (!it->backup.empty())
            MoveFileExW(it->backup.c_str(), it->final.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    written_.clear();
    for (auto it = madeFolders_.rbegin(); it != madeFolders_.rend(); ++it) RemoveDirectoryW(it->c_str());
    madeFolders_.clear();
}

void Extraction::Report(bool error, const std::wstring& text) const {
    if (!callbacks_ || !callbacks_->print) return;
    if (options_.quiet >= 2 || (options_.quiet == 1 && !error)) return;
    std::string line = ToAnsi(text) + "\n";
    callbacks_->print(line.data(), static_cast<unsigned long>(line.size()));
}

}  // namespace unzip32
