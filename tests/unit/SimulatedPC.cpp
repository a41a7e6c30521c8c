#include "SimulatedPC.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <winspool.h>

#include <algorithm>

#include "TestSupport.h"
#include "common/Handles.h"

namespace testing_support {
namespace {

constexpr wchar_t kPrintersKey[] = L"System\\CurrentControlSet\\Control\\Print\\Printers\\";

REGSAM ViewFlag(SimulatedPC::View view) {
    return view == SimulatedPC::View::Wide64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

scup::UniqueRegKey OpenMachineKey(const std::wstring& path, REGSAM access) {
    scup::UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, key.put()) != ERROR_SUCCESS) key.release();
    return key;
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH] = {};
    DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return n > 0 && n < MAX_PATH ? std::wstring(full) : path;
}

}  // namespace

SimulatedPC::~SimulatedPC() {
    for (auto it = m_values.rbegin(); it != m_values.rend(); ++it) {
        scup::UniqueRegKey key = OpenMachineKey(it->key, KEY_SET_VALUE | it->view);
        if (!key) continue;
        if (it->data)
            RegSetValueExW(key.get(), it->name.c_str(), 0, it->type, it->data->data(),
                           static_cast<DWORD>(it->data->size()));
        else
            RegDeleteValueW(key.get(), it->name.c_str());
    }
    for (auto it = m_keys.rbegin(); it != m_keys.rend(); ++it) {
        scup::UniqueRegKey parent = OpenMachineKey(it->parent, KEY_ALL_ACCESS | it->view);
        if (parent) RegDeleteTreeW(parent.get(), it->name.c_str());
    }
    for (auto it = m_files.rbegin(); it != m_files.rend(); ++it) {
        DeleteFileW(it->path.c_str());
        if (!it->backup.empty()) MoveFileW(it->backup.c_str(), it->path.c_str());
    }
    for (auto it = m_folders.rbegin(); it != m_folders.rend(); ++it) RemoveDirectoryW(it->c_str());
}

void SimulatedPC::CreateKey(const std::wstring& path, REGSAM view) {
    size_t start = 0;
    std::wstring parent;
    while (start < path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        const std::wstring name = path.substr(start, end - start);
        const std::wstring current = parent.empty() ? name : parent + L"\\" + name;
        scup::UniqueRegKey key;
        DWORD disposition = 0;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, current.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE | view,
                            nullptr, key.put(), &disposition) != ERROR_SUCCESS) {
            key.release();
            ADD_FAILURE() << "cannot create HKLM\\" << std::string(current.begin(), current.end());
            return;
        }
        if (disposition == REG_CREATED_NEW_KEY) m_keys.push_back({parent, name, view});
        parent = current;
        start = end + 1;
    }
}

void SimulatedPC::SetValue(const std::wstring& keyPath, const std::wstring& name, DWORD type,
                           const void* data, DWORD size, REGSAM view) {
    CreateKey(keyPath, view);
    scup::UniqueRegKey key = OpenMachineKey(keyPath, KEY_READ | KEY_WRITE | view);
    ASSERT_TRUE(key);
    SSavedValue saved{keyPath, name, view, std::nullopt, 0};
    DWORD oldType = 0, oldSize = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &oldType, nullptr, &oldSize) == ERROR_SUCCESS) {
        std::vector<BYTE> old(oldSize);
        if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &oldType, old.data(), &oldSize) ==
            ERROR_SUCCESS) {
            saved.data = std::move(old);
            saved.type = oldType;
        }
    }
    m_values.push_back(std::move(saved));
    ASSERT_EQ(RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
}

void SimulatedPC::AddPrinterQueue(const std::wstring& name, const std::wstring& driver, DWORD attributes,
                                  const std::wstring& port) {
    const std::wstring key = kPrintersKey + name;
    auto setText = [&](const wchar_t* value, const std::wstring& text) {
        SetValue(key, value, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)),
                 KEY_WOW64_64KEY);
    };
    setText(L"Name", name);
    setText(L"Printer Driver", driver);
    setText(L"Port", port);
    SetValue(key, L"Attributes", REG_DWORD, &attributes, sizeof(attributes), KEY_WOW64_64KEY);
}

void SimulatedPC::AddDriver(const std::wstring& driver, const std::wstring& infoDll, View view,
                            const std::wstring& company) {
    const std::wstring key = DriverKeyPath(driver, company);
    CreateKey(key, ViewFlag(view));
    if (!infoDll.empty())
        SetValue(key, L"Info Dll", REG_SZ, infoDll.c_str(),
                 static_cast<DWORD>((infoDll.size() + 1) * sizeof(wchar_t)), ViewFlag(view));
}

void SimulatedPC::SetDriverValue(const std::wstring& driver, const wchar_t* name, DWORD value, View view,
                                 const std::wstring& company) {
    SetValue(DriverKeyPath(driver, company), name, REG_DWORD, &value, sizeof(value), ViewFlag(view));
}

void SimulatedPC::AddFamilyPrinter(const std::wstring& name, const std::wstring& driver, DWORD modelId,
                                   DWORD attributes) {
    AddPrinterQueue(name, driver, attributes);
    AddDriver(driver);
    SetDriverValue(driver, L"ModelId", modelId);
}

void SimulatedPC::CreateFolders(const std::wstring& folder) {
    for (size_t pos = folder.find(L'\\', 3);; pos = folder.find(L'\\', pos + 1)) {
        const std::wstring part = pos == std::wstring::npos ? folder : folder.substr(0, pos);
        if (CreateDirectoryW(part.c_str(), nullptr)) m_folders.push_back(part);
        if (pos == std::wstring::npos) break;
    }
}

std::wstring SimulatedPC::InstallInfoLibrary(LibraryPlace place, const std::wstring& fileName) {
    const std::wstring folder =
        place == LibraryPlace::DriverFolder ? DriverLibraryFolder() : CommonFilesLibraryFolder();
    CreateFolders(folder);
    const std::wstring path = folder + L"\\" + fileName;
    SSavedFile saved{path, L""};
    if (FileExists(path)) {
        saved.backup = path + L".simpc-" + std::to_wstring(GetCurrentProcessId());
        MoveFileW(path.c_str(), saved.backup.c_str());
    }
    m_files.push_back(saved);
    EXPECT_TRUE(CopyFileW(BuiltInfoLibrary().c_str(), path.c_str(), FALSE))
        << "cannot install the information library, error " << GetLastError();
    return path;
}

std::wstring SimulatedPC::BuiltInfoLibrary() {
    return FullPath(BinFolder() + L"..\\driverpkg\\" + kInfoLibrary);
}

std::wstring SimulatedPC::DriverLibraryFolder() {
    wchar_t folder[MAX_PATH] = {};
    DWORD needed = 0;
    GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(folder), sizeof(folder), &needed);
    return std::wstring(folder) + L"\\3";
}

std::wstring SimulatedPC::CommonFilesLibraryFolder() {
    wchar_t folder[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, SHGFP_TYPE_CURRENT, folder);
    return std::wstring(folder) + L"\\Corvane\\Scribo";
}

std::wstring SimulatedPC::DriverKeyPath(const std::wstring& driver, const std::wstring& company) {
    return L"SOFTWARE\\" + company + L"\\Scribo\\Driver\\3.0\\" + driver;
}

}  // namespace testing_support
