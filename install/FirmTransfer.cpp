#include "FirmTransfer.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <utility>

#include "ConnectedPrinters.h"
#include "FirmPort.h"
#include "InstallDialogs.h"
#include "Pd3File.h"
#include "PowerCheck.h"
#include "PrintQueue.h"
#include "StoredFileQuery.h"
#include "TransferEnvironment.h"
#include "TransferWorker.h"
#include "common/AnsiText.h"
#include "common/Format.h"
#include "common/LangResources.h"
#include "common/Trace.h"
#include "local/PrinterDriver.h"
#include "res/firmware_ids.h"

using scup::AUTrace;

namespace {

constexpr std::size_t kRegionAt = 4;
// Set by the thread that sends, read by the dialog that ends the printer's transfer mode.
std::atomic<bool> g_modeCheckUsed{false};
// Whether the last transfer's printer listed every file sent at its new version, and the entries
// (code and region) of the rows whose files it listed so.
std::atomic<bool> g_lastConfirmed{false};
std::mutex g_confirmedMutex;
std::vector<std::pair<std::wstring, std::wstring>> g_confirmedEntries;

void KeepConfirmed(const SAUExtFirmInfo& entry) {
    std::lock_guard lock(g_confirmedMutex);
    g_confirmedEntries.emplace_back(entry.strId, entry.strSpec);
}

// The visible main window owns the transfer's dialogs, so that they stay above it and it takes no
// input while they are open; but only where they open on its own thread (this one, or the main
// thread they are moved to), so that no other thread's input is tied to them. None when it is hidden.
HWND OwnerOfTheDialogs(const SInstallDialogs& dialogs) {
    HWND main = dialogs.mainWindow ? dialogs.mainWindow() : nullptr;
    if (!main || !IsWindowVisible(main)) return nullptr;
    const bool onItsThread = GetWindowThreadProcessId(main, nullptr) == GetCurrentThreadId();
    return onItsThread || dialogs.transferOnMainThread ? main : nullptr;
}

std::wstring RegionOf(const std::string& spec) {
    return scup::FromAnsi(spec.size() > kRegionAt ? spec.substr(kRegionAt) : std::string());
}

class CFirmTransfer {
  public:
    CFirmTransfer(std::wstring driver, LANGID language) : m_driver(std::move(driver)), m_language(language) {}

    int Run(const std::vector<std::wstring>& installNames, const std::vector<std::wstring>& files,
            const std::vector<const SAUItemRecord*>* items);

  private:
    void SelectFiles(const std::vector<std::wstring>& installNames, const std::vector<std::wstring>& files,
                     const std::vector<const SAUItemRecord*>* items);
    // A PC on a low battery is plugged in first: the user retries once it is, or gives up.
    bool HasEnoughPower();
    // A printer that is printing or has jobs waiting is freed first: the user retries once it is,
    // or gives up.
    bool PrintersAreFree(const std::vector<std::wstring>& printers);
    bool PrinterIsFree(const std::wstring& printer);
    bool Confirm();
    bool FindPrinters(std::vector<std::wstring>& printers);
    // 0 sent, 1 go on with the next printer, 2 end the run (its message shown).
    enum class Outcome { Sent, NextPrinter, EndRun };
    Outcome SendToPrinter(const std::wstring& printer, bool modeCheck);
    bool SpecsMatchPrinter();
    // The printer's stored files, read as the check reads them (each list read tried twice);
    // longRecords: whether its records are the long ones, which alone hold a version.
    bool ReadStoredFiles(std::vector<tagScTrFileHeader>& stored, bool* longRecords = nullptr);
    // Whether the printer now lists every sent file that it can tell of at the version sent.
    bool HoldsTheNewVersions(const std::vector<CTransferWorker::SSentFile>& sent);
    int RunProgressDialog(CTransferWorker& worker);
    int Message(UINT textId, UINT style, bool topMost, const std::wstring& text = {}) const;

    std::wstring m_driver;
    LANGID m_language;
    SInstallDialogs m_dialogs = InstallDialogs();
    HWND m_owner = nullptr;
    std::uint16_t m_model = 0;
    std::vector<std::wstring> m_files;
    std::vector<const SAUItemRecord*> m_items;
    bool m_hasItems = false;
    std::uint32_t m_total = 0;
    // Name to spec code of the type 6 files: the printer must not hold them for another region.
    std::map<std::string, std::string> m_specs;
};

int CFirmTransfer::Message(UINT textId, UINT style, bool topMost, const std::wstring& text) const {
    if (topMost) style |= scup::kUpdateFlowMessageBoxFlags;
    const std::wstring shown = text.empty() ? scup::LoadLangString(textId, m_language) : text;
    return scup::ShowMessageBox(m_owner, shown, scup::AppTitle(m_language),
                                scup::LangMessageBoxStyle(style, m_language));
}

int CFirmTransfer::Run(const std::vector<std::wstring>& installNames, const std::vector<std::wstring>& files,
                       const std::vector<const SAUItemRecord*>* items) {
    m_owner = OwnerOfTheDialogs(m_dialogs);
    // Held to the end: the worker sends under it while this thread waits in the progress dialog.
    CFirmPort::Claim claim;
    const int model = GetPrinterModelId(m_driver, false);
    m_model = static_cast<std::uint16_t>(model);
    if (model == -1) AUTrace(L"Failed: no model identifier for %s", m_driver.c_str());
    CFirmPort::Instance().SetModelId(m_model);
    ForgetLastTransfer();
    g_modeCheckUsed = false;

    if (model != -1) SelectFiles(installNames, files, items);
    if (m_files.empty()) {
        Message(IDS_MSG_NO_FIRMWARE_FILE, MB_OK | MB_ICONERROR, true);
        return kFirmTransferNothingSent;
    }
    if (!HasEnoughPower() || !Confirm()) return kFirmTransferNothingSent;
    std::vector<std::wstring> printers;
    if (!FindPrinters(printers) || !PrintersAreFree(printers)) return kFirmTransferNothingSent;

    const bool modeCheck = IsTransferChangeCmd(m_driver);
    g_modeCheckUsed = modeCheck;
    bool sent = false;
    for (const std::wstring& printer : printers) {
        const Outcome outcome = SendToPrinter(printer, modeCheck);
        if (outcome == Outcome::EndRun) return kFirmTransferFailed;
        if (outcome == Outcome::Sent) sent = true;
    }
    if (!sent) {
        Message(IDS_MSG_TRANSFER_FAILED, MB_OK, true);
        return kFirmTransferFailed;
    }
    g_lastConfirmed = true;
    Message(IDS_MSG_FIRMWARE_UPDATED, MB_OK | MB_ICONINFORMATION, true);
    return kFirmTransferSent;
}

void CFirmTransfer::SelectFiles(const std::vector<std::wstring>& installNames,
                                const std::vector<std::wstring>& files,
                                const std::vector<const SAUItemRecord*>* items) {
    m_hasItems = items != nullptr;
    for (std::size_t i = 0; i < files.size(); ++i) {
        CPd3File file;
        const bool readable = file.Open(files[i]) && file.ReadHeader();
        file.Close();
        // A file that is not for this model, or not a whole firmware file, is left out quietly.
        if (!readable || file.ModelId() != m_model) {
            AUTrace(L"Failed: %s is not a firmware file for model %X", files[i].c_str(),
                    static_cast<unsigned>(m_model));
            continue;
        }
        const std::wstring installName = i < installNames.size() ? installNames[i] : std::wstring();
        if (file.HasSpec() && !installName.empty() && installName != scup::FromAnsi(file.Key())) {
            AUTrace(L"Failed: %s is not the file of %s", files[i].c_str(), installName.c_str());
            Message(IDS_MSG_FILE_NOT_FOR_UPDATE, MB_OK, false);
            continue;
        }
        if (file.HasSpec() && file.FileType() == 6) m_specs[file.Name()] = file.Spec();
        m_total += file.DataLength();
        m_files.push_back(files[i]);
        m_items.push_back(items && i < items->size() ? (*items)[i] : nullptr);
    }
}

bool CFirmTransfer::HasEnoughPower() {
    while (!scup::PowerEnoughForTransfer())
        if (Message(IDS_MSG_BATTERY_LOW, MB_RETRYCANCEL | MB_ICONWARNING, true) != IDRETRY) return false;
    return true;
}

bool CFirmTransfer::PrintersAreFree(const std::vector<std::wstring>& printers) {
    for (const std::wstring& printer : printers)
        if (!PrinterIsFree(printer)) return false;
    return true;
}

bool CFirmTransfer::PrinterIsFree(const std::wstring& printer) {
    for (;;) {
        const scup::SPrintQueueState state = scup::OpenPrintQueue(printer)->State();
        if (state.Free()) return true;
        AUTrace(L"The printer %s is busy: %lu jobs in its queue%s.", printer.c_str(), state.jobs,
                state.printing ? L", printing" : L"");
        if (Message(IDS_MSG_PRINTER_BUSY, MB_RETRYCANCEL | MB_ICONWARNING, true) != IDRETRY) return false;
    }
}

bool CFirmTransfer::Confirm() {
    return m_dialogs.confirmTransfer && m_dialogs.confirmTransfer(m_language, m_owner);
}

bool CFirmTransfer::FindPrinters(std::vector<std::wstring>& printers) {
    while (ListOnlinePrinters(m_driver, printers) == 0) {
        if (!m_dialogs.retryConnection || !m_dialogs.retryConnection(m_language, m_owner)) return false;
    }
    return true;
}

CFirmTransfer::Outcome CFirmTransfer::SendToPrinter(const std::wstring& printer, bool modeCheck) {
    CFirmPort& port = CFirmPort::Instance();
    if (!port.Open(printer)) return Outcome::NextPrinter;
    // No job of the queue prints into the transfer, on whatever way it ends. A job may have come
    // since the printers were looked at (an earlier printer's transfer takes minutes), so this one
    // is looked at again once its queue is held.
    const scup::CQueuePause pause(printer);
    if (!PrinterIsFree(printer)) return Outcome::EndRun;
    if (modeCheck && !port.CheckMode()) {
        AUTrace(L"Failed: %s refused the mode check", printer.c_str());
        Message(IDS_MSG_TRANSFER_FAILED, MB_OK, false);
        return Outcome::EndRun;
    }
    if (!m_specs.empty() && !SpecsMatchPrinter()) return Outcome::EndRun;

    CTransferWorker worker(m_files, m_hasItems ? &m_items : nullptr, m_driver);
    const int code = RunProgressDialog(worker);
    AUTrace(L"Transfer to %s ended with %d", printer.c_str(), code);
    if (code == kTransferCancelled || code == kTransferNotReady) {
        Message(code == kTransferCancelled ? IDS_MSG_TRANSFER_CANCELLED : IDS_MSG_PRINTER_NOT_READY, MB_OK,
                true);
        return Outcome::EndRun;
    }
    if (code != kTransferDone) return Outcome::NextPrinter;
    // The transfer's own result says only that the printer took the data: the update is done when
    // the printer lists the new versions. Until then nothing goes into the history, and the next
    // check offers the update again.
    if (!HoldsTheNewVersions(worker.Sent())) {
        g_lastConfirmed = false;
        Message(IDS_MSG_FIRMWARE_NOT_CONFIRMED, MB_OK | MB_ICONERROR, true);
        return Outcome::EndRun;
    }
    for (const CTransferWorker::SSentFile& sent : worker.Sent()) {
        worker.RecordHistory(sent);
        if (sent.item) KeepConfirmed(sent.item->info);
    }
    return Outcome::Sent;
}

bool CFirmTransfer::ReadStoredFiles(std::vector<tagScTrFileHeader>& stored, bool* longRecords) {
    CFirmPort& port = CFirmPort::Instance();
    const int identity = port.Identify();
    if (longRecords) *longRecords = identity == kLongRecords;
    bool listed = false;
    for (int attempt = 0; identity != kNotIdentified && attempt < 2 && !listed; ++attempt)
        listed = port.ReadStoredFileList(identity == kLongRecords, stored);
    return listed;
}

bool CFirmTransfer::HoldsTheNewVersions(const std::vector<CTransferWorker::SSentFile>& sent) {
    std::vector<tagScTrFileHeader> stored;
    bool longRecords = false;
    if (!ReadStoredFiles(stored, &longRecords)) {
        AUTrace(L"Failed: the printer's stored files could not be read after the transfer");
        return false;
    }
    for (const CTransferWorker::SSentFile& file : sent) {
        const auto isIt = [&](const tagScTrFileHeader& record) {
            return record.Name() == file.name &&
                   (record.Spec().empty() || file.spec.empty() || record.Spec() == file.spec);
        };
        // Neither a 64-byte header nor a 64-byte record holds a version, and a printer need not
        // list a kind of file that the check does not read: of such a file, its taking the file
        // is all there is to know. A file the printer lists must be there at the version sent.
        const bool listed = std::any_of(stored.begin(), stored.end(), isIt);
        if (file.version.empty() || !longRecords || (!listed && !IsKeptFileType(file.type))) {
            AUTrace(L"%s: the printer does not tell its version; its transfer counts",
                    scup::FromAnsi(file.name).c_str());
            continue;
        }
        const bool held = std::any_of(stored.begin(), stored.end(), [&](const tagScTrFileHeader& record) {
            return isIt(record) && record.Version() == file.version;
        });
        if (!held) {
            AUTrace(L"Failed: the printer does not list %s at version %s after the transfer",
                    scup::FromAnsi(file.name).c_str(), scup::FromAnsi(file.version).c_str());
            return false;
        }
    }
    return true;
}

bool CFirmTransfer::SpecsMatchPrinter() {
    std::vector<tagScTrFileHeader> stored;
    if (!ReadStoredFiles(stored)) {
        AUTrace(L"Failed: the printer's stored files could not be read");
        Message(IDS_MSG_TRANSFER_FAILED, MB_OK, true);
        return false;
    }
    for (const tagScTrFileHeader& record : stored) {
        // A record without a spec code (all that 64-byte records can hold) fits every region.
        auto wanted = m_specs.find(record.Name());
        if (wanted == m_specs.end() || record.Spec().empty() || wanted->second == record.Spec()) continue;
        const std::wstring text = scup::FillPlaceholders(scup::LoadLangString(IDS_MSG_SPEC_MISMATCH, m_language),
                                                   {RegionOf(wanted->second), RegionOf(record.Spec())});
        Message(IDS_MSG_SPEC_MISMATCH, MB_OK | MB_ICONERROR, true, text);
        return false;
    }
    return true;
}

int CFirmTransfer::RunProgressDialog(CTransferWorker& worker) {
    const auto work = [&worker](const TransferProgress& progress) { worker.Run(progress); };
    if (!m_dialogs.runTransfer || !m_dialogs.runTransfer(m_language, m_owner, m_total, work)) {
        AUTrace(L"Failed: the transfer progress dialog could not be shown");
        return kTransferPortNotOpen;
    }
    return CFirmPort::Instance().ResultCode();
}

}  // namespace

int TransferFirmware(const std::wstring& driver, const std::vector<std::wstring>& installNames,
                     const std::vector<std::wstring>& files, const std::vector<const SAUItemRecord*>* items) {
    scup::TraceScope scope(L"TransferFirmware()");
    CFirmTransfer transfer(driver, TransferLanguage());
    return transfer.Run(installNames, files, items);
}

int LastTransferResult() { return CFirmPort::Instance().ResultCode(); }

void ForgetLastTransfer() {
    CFirmPort::Instance().SetResultCode(kTransferNotStarted);
    g_lastConfirmed = false;
    std::lock_guard lock(g_confirmedMutex);
    g_confirmedEntries.clear();
}

bool LastTransferConfirmed() { return g_lastConfirmed; }

bool LastTransferConfirmed(const SAUExtFirmInfo& entry) {
    if (!g_lastConfirmed) return false;
    std::lock_guard lock(g_confirmedMutex);
    return std::find(g_confirmedEntries.begin(), g_confirmedEntries.end(),
                     std::make_pair(entry.strId, entry.strSpec)) != g_confirmedEntries.end();
}

bool LastTransferUsedModeCheck() { return g_modeCheckUsed; }
