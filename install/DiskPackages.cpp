#include "DiskPackages.h"

#include <memory>

#include "FirmTransfer.h"
#include "TemporaryFolder.h"
#include "common/AppFiles.h"
#include "common/Format.h"
#include "common/KeepAwake.h"
#include "common/LangResources.h"
#include "res/firmware_ids.h"
#include "res/updater_ids.h"

namespace scup {

namespace {

constexpr wchar_t kFirmwareExtension[] = L".pd3";

bool IsFirmwareFile(const std::wstring& name) {
    return name.size() >= wcslen(kFirmwareExtension) &&
           _wcsicmp(name.c_str() + name.size() - wcslen(kFirmwareExtension), kFirmwareExtension) == 0;
}

// The packages unpacked, each into its own folder, which go when the set goes.
struct SUnpackedSet {
    std::vector<std::unique_ptr<CTemporaryFolder>> folders;
    std::vector<std::wstring> files;
    std::vector<int> rows;
};

SUnpackedSet UnpackReadable(const std::vector<SAUTickedRow>& ticked, const SDiskPackagesSend& send,
                            HWND owner) {
    SUnpackedSet set;
    for (const SAUTickedRow& row : ticked) {
        auto folder = std::make_unique<CTemporaryFolder>();
        std::vector<std::wstring> names;
        if (folder->Path().empty() ||
            !UnzipPackage(send.unzip, row.record.info.strFilePath, names, folder->Path())) {
            ShowLangText(owner,
                         FillPlaceholders(LoadLangString(IDS_MSG_PACKAGE_UNREADABLE, send.language),
                                          {FileNameOf(row.record.info.strFilePath)}),
                         send.language, MB_ICONSTOP);
            continue;
        }
        set.rows.push_back(row.nRow);
        for (const std::wstring& name : names)
            if (IsFirmwareFile(name)) set.files.push_back(JoinPath(folder->Path(), name));
        set.folders.push_back(std::move(folder));
    }
    return set;
}

}  // namespace

std::vector<int> SendDiskPackages(IUpdateListView& view, const SDiskPackagesSend& send,
                                  std::atomic<bool>& keepAwake) {
    const std::vector<SAUTickedRow> ticked = view.GetTickedRows();
    if (ticked.empty()) return {};
    HWND owner = view.ViewWindow();
    for (const SAUTickedRow& row : ticked) {
        if (!FileExists(row.record.info.strFilePath)) {
            ShowLangMessage(owner, IDS_MSG_PACKAGE_MISSING, send.language, MB_ICONSTOP);
            return {};
        }
    }
    view.ShowView(false);
    std::vector<int> sent;
    {
        const SUnpackedSet set = UnpackReadable(ticked, send, owner);
        if (set.files.empty()) {
            ShowLangMessage(owner, IDS_MSG_NO_FIRMWARE_FILE, send.language, MB_ICONSTOP);
        } else {
            CKeepAwake awake(keepAwake, ES_AWAYMODE_REQUIRED);
            if (send.transfer && send.transfer(send.printer, set.files) == kFirmTransferSent) sent = set.rows;
        }
    }
    view.ShowView(true);
    return sent;
}

}  // namespace scup
