#pragma once
// A PC with printers of the family, made in the Wine prefix the tests run in: printer queues in
// the spooler's registry, driver keys in the maker's driver registry (either registry view), and
// the driver package's information library copied to where a driver package installs it.
// Everything it adds goes again when it ends, and what it overwrote is put back.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace testing_support {

class SimulatedPC {
  public:
    // The 32-bit view, where the maker's 32-bit drivers keep their keys, or the 64-bit view.
    enum class View { Normal, Wide64 };
    enum class LibraryPlace { DriverFolder, CommonFiles };

    static constexpr wchar_t kMakerCompany[] = L"Corvane Industries, Ltd.";
    static constexpr wchar_t kInfoLibrary[] = L"CVSCINF.dll";

    SimulatedPC() = default;
    ~SimulatedPC();
    SimulatedPC(const SimulatedPC&) = delete;
    SimulatedPC& operator=(const SimulatedPC&) = delete;

    // A printer queue as the spooler lists it.
    void AddPrinterQueue(const std::wstring& name, const std::wstring& driver, DWORD attributes = 0,
                         const std::wstring& port = L"COM5:");
    // A driver key of the maker's driver registry, with "Info Dll" unless infoDll is empty.
    void AddDriver(const std::wstring& driver, const std::wstring& infoDll = kInfoLibrary,
                   View view = View::Normal, const std::wstring& company = kMakerCompany);
    void SetDriverValue(const std::wstring& driver, const wchar_t* name, DWORD value,
                        View view = View::Normal, const std::wstring& company = kMakerCompany);
    // A printer of the family in one step: its queue, its driver key naming the information library,
    // and the model identifier that the library reports for it.
    void AddFamilyPrinter(const std::wstring& name, const std::wstring& driver, DWORD modelId,
                          DWORD attributes = 0);

    // Copies the built information library into place under the file name; gives its path.
    std::wstring InstallInfoLibrary(LibraryPlace place = LibraryPlace::DriverFolder,
                                    const std::wstring& fileName = kInfoLibrary);

    // The library as the build made it, in its own folder beside the program's.
    static std::wstring BuiltInfoLibrary();
    // The spooler's driver folder followed by "\3", and the maker's folder in the common files.
    static std::wstring DriverLibraryFolder();
    static std::wstring CommonFilesLibraryFolder();
    static std::wstring DriverKeyPath(const std::wstring& driver,
                                      const std::wstring& company = kMakerCompany);

  private:
    struct SCreatedKey {
        std::wstring parent;
        std::wstring name;
        REGSAM view;
    };
    struct SSavedValue {
        std::wstring key;
        std::wstring name;
        REGSAM view;
        std::optional<std::vector<BYTE>> data;  // none: the value did not exist
        DWORD type;
    };
    struct SSavedFile {
        std::wstring path;
        std::wstring backup;  // empty: the file did not exist
    };

    // Creates the key (HKLM) and the keys above it, remembering the ones it made.
    void CreateKey(const std::wstring& path, REGSAM view);
    void SetValue(const std::wstring& key, const std::wstring& name, DWORD type, const void* data, DWORD size,
                  REGSAM view);
    void CreateFolders(const std::wstring& folder);

    std::vector<SCreatedKey> m_keys;
    std::vector<SSavedValue> m_values;
    std::vector<std::wstring> m_folders;
    std::vector<SSavedFile> m_files;
};

}  // namespace testing_support
