#include "MakerApplications.h"

namespace scup {

namespace {

constexpr const wchar_t* kEditors[3] = {L"scedit50.exe", L"scedit51.exe", L"scedit52.exe"};

const SMakerApplication kApplications[] = {
    {L"PP-SCEDIT50",
     L"Scribo Editor\\5.0\\Settings",
     L"scres50.dll",
     InstallerKind::Editor50,
     {kEditors[0], kEditors[1], kEditors[2]},
     L"Scribo Editor",
     L"Scedit50",
     L"Scribo Editor 5.0.lnk"},
    {L"PP-SCEDIT51",
     L"Scribo Editor\\5.1\\Settings",
     L"scres51.dll",
     InstallerKind::Editor5x,
     {kEditors[0], kEditors[1], kEditors[2]},
     L"Scribo Editor",
     L"Scedit51",
     L"Scribo Editor 5.1.lnk"},
    {L"PP-SCEDIT52",
     L"Scribo Editor\\5.2\\Settings",
     L"scres52.dll",
     InstallerKind::Editor5x,
     {kEditors[0], kEditors[1], kEditors[2]},
     L"Scribo Editor",
     L"Scedit52",
     L"Scribo Editor 5.2.lnk"},
    {L"PP-CONTACT11",
     L"Scribo Address Book\\1.1\\Settings",
     L"CbRes.dll",
     InstallerKind::AddressBook,
     {L"Contactbk.exe"},
     L"Scribo AddressBook",
     L"ScContact11",
     L"Scribo Address Book 1.1.lnk"},
    {L"PP-CONTACT12",
     L"Scribo Address Book\\1.2\\Settings",
     L"CbRes.dll",
     InstallerKind::AddressBook,
     {L"Contactbk.exe"},
     L"Scribo AddressBook",
     L"ScContact12",
     L"Scribo Address Book 1.2.lnk"},
    {L"PP-CONTACT13",
     L"Scribo Address Book\\1.3\\Settings",
     L"CbRes.dll",
     InstallerKind::AddressBook,
     {L"Contactbk.exe"},
     L"Scribo AddressBook",
     L"ScContact13",
     L"Scribo Address Book 1.3.lnk"},
    {L"PP-DEVSETUP",
     L"Fieldlabel Printer\\Device Setup Tool\\Settings",
     nullptr,
     InstallerKind::DeviceSetup,
     {L"cvdevset.exe"},
     nullptr,
     nullptr,
     nullptr},
    {L"PP-WIREMARK",
     L"WireMarker\\Settings",
     nullptr,
     InstallerKind::WireMarker,
     {L"WireMarker.exe"},
     nullptr,
     L"WireMarker",
     L"Wire Marker Tool 1.0.lnk"},
};

}  // namespace

std::span<const SMakerApplication> MakerApplications() { return kApplications; }

const SMakerApplication* FindMakerApplication(const std::wstring& code) {
    for (const SMakerApplication& application : kApplications)
        if (code == application.code) return &application;
    return nullptr;
}

std::wstring MakerKey(const wchar_t* product) {
    return std::wstring(L"SOFTWARE\\Corvane Industries, Ltd.\\") + product;
}

UniqueRegKey OpenMakerKey(HKEY root, const std::wstring& path, REGSAM access) {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, path.c_str(), 0, access | view, &key) == ERROR_SUCCESS)
            return UniqueRegKey(key);
    }
    return {};
}

}  // namespace scup
