#include "TransferWorker.h"

#include "FirmPort.h"
#include "FirmSender.h"
#include "Pd3File.h"
#include "TrProgressState.h"
#include "TransferEnvironment.h"
#include "common/AnsiText.h"
#include "common/Format.h"
#include "common/Trace.h"
#include "local/AUHistoryLog.h"

using scup::AUTrace;

namespace {

constexpr DWORD kIdentifyWriteMs = 1000;

}  // namespace

CTransferWorker::CTransferWorker(const std::vector<std::wstring>& files,
                                 const std::vector<const SAUItemRecord*>* items, std::wstring printer)
    : m_files(files), m_items(items), m_strPrinter(std::move(printer)) {}

void CTransferWorker::Run(const TransferProgress& progress) {
    scup::TraceScope scope(L"CTransferWorker::Run()");
    CFirmPort& port = CFirmPort::Instance();
    m_sent.clear();
    port.SetResultCode(kTransferDone);
    if (!port.IsOpen()) {
        port.SetResultCode(kTransferPortNotOpen);
        return;
    }
    // A worker that could not even start must not look like one that finished.
    if (!port.SendCommand('I', kIdentifyWriteMs)) {
        port.SetResultCode(kTransferWriteFailed);
        return;
    }
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        const SAUItemRecord* item = m_items && i < m_items->size() ? (*m_items)[i] : nullptr;
        if (!SendFile(m_files[i], item, progress)) {
            if (port.ResultCode() == kTransferDone) port.SetResultCode(kTransferRefused);
            return;
        }
    }
}

bool CTransferWorker::SendFile(const std::wstring& path, const SAUItemRecord* item,
                               const TransferProgress& progress) {
    CFirmPort& port = CFirmPort::Instance();
    CPd3File file;
    if (!file.Open(path) || !file.ReadHeader()) {
        AUTrace(L"Failed: %s could not be read", path.c_str());
        return false;
    }
    scup::STrProgressState& state = scup::TransferProgressState();
    state.SetCurrentName(item ? item->strTitle : CPd3File::NameFromPath(path));
    state.rightToLeft = item ? item->bRightToLeft : 0;
    state.currentShare = file.DataLength();
    state.cancelEnabled = port.CancelLimit() != 0 && file.DataLength() < port.CancelLimit() ? 1 : 0;

    CFirmSender sender(port, progress);
    if (!sender.Send(file)) return false;
    state.doneWeight += file.DataLength();
    m_sent.push_back({file.Name(), file.Spec(), file.Version(), file.FileType(), item});
    return true;
}

void CTransferWorker::RecordHistory(const SSentFile& sent) const {
    if (!sent.item) return;
    const SAUItemRecord& item = *sent.item;
    const std::wstring& printer = item.info.strName.empty() ? m_strPrinter : item.info.strName;
    AddHistoryRecord(kFirmwareCategory, item.strTitle, item.strVersion, printer,
                     scup::FormatText(L"%d", static_cast<int>(TransferLocale())), scup::FromAnsi(sent.name),
                     scup::FromAnsi(sent.spec), scup::FromAnsi(sent.version));
    AUTrace(L"Success: history entry for %s", item.strTitle.c_str());
}
