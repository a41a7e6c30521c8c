#include "PrintQueue.h"

#include <winspool.h>

#include <algorithm>
#include <vector>

#include "common/Guarded.h"
#include "common/Handles.h"
#include "common/Profile.h"
#include "common/Text.h"
#include "common/Trace.h"

namespace scup {

namespace {

constexpr wchar_t kPausedQueueSetting[] = L"PausedQueue";

Guarded<PrintQueueSource>& Source() {
    static Guarded<PrintQueueSource> source;
    return source;
}

struct PrinterHandleTraits {
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE handle) { ClosePrinter(handle); }
};
using UniquePrinter = UniqueResource<HANDLE, PrinterHandleTraits>;

class CSpoolerQueue : public IPrintQueue {
  public:
    explicit CSpoolerQueue(const std::wstring& printer) {
        // The right to pause first; without it, the right to read the queue.
        for (const ACCESS_MASK access :
             {PRINTER_ACCESS_ADMINISTER | PRINTER_ACCESS_USE, PRINTER_ACCESS_USE}) {
            PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
            HANDLE handle = nullptr;
            if (OpenPrinterW(const_cast<LPWSTR>(printer.c_str()), &handle, &defaults)) {
                m_handle.reset(handle);
                return;
            }
        }
        AUTrace(L"The print queue of %s cannot be opened (error %lu).", printer.c_str(), GetLastError());
    }

    SPrintQueueState State() override {
        SPrintQueueState state;
        if (!m_handle) return state;
        DWORD needed = 0;
        GetPrinterW(m_handle.get(), 2, nullptr, 0, &needed);
        std::vector<BYTE> buffer(needed);
        if (needed == 0 || !GetPrinterW(m_handle.get(), 2, buffer.data(), needed, &needed)) return state;
        const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
        state.known = true;
        state.jobs = info->cJobs;
        state.printing =
            (info->Status & (PRINTER_STATUS_PRINTING | PRINTER_STATUS_PROCESSING | PRINTER_STATUS_BUSY)) != 0;
        state.paused = (info->Status & PRINTER_STATUS_PAUSED) != 0;
        return state;
    }

    bool Pause() override { return Control(PRINTER_CONTROL_PAUSE); }
    bool Resume() override { return Control(PRINTER_CONTROL_RESUME); }

  private:
    bool Control(DWORD command) {
        if (m_handle && SetPrinterW(m_handle.get(), 0, nullptr, command)) return true;
        AUTrace(L"SetPrinter(%lu) failed with Error Code : %lu.", command, GetLastError());
        return false;
    }

    UniquePrinter m_handle;
};

}  // namespace

void SetPrintQueueSource(PrintQueueSource source) { Source().Set(std::move(source)); }

std::unique_ptr<IPrintQueue> OpenPrintQueue(const std::wstring& printer) {
    const PrintQueueSource source = Source().Get();
    return source ? source(printer) : std::make_unique<CSpoolerQueue>(printer);
}

namespace {

std::vector<std::wstring> PausedQueues() {
    return SplitList(GetProfileText(kSettingsSection, kPausedQueueSetting, L""), L',');
}

void KeepPausedQueues(const std::vector<std::wstring>& queues) {
    std::wstring list;
    for (const std::wstring& queue : queues) list += (list.empty() ? L"" : L",") + queue;
    WriteProfileText(kSettingsSection, kPausedQueueSetting, list);
}

void MarkPaused(const std::wstring& printer) {
    std::vector<std::wstring> queues = PausedQueues();
    if (std::find(queues.begin(), queues.end(), printer) == queues.end()) queues.push_back(printer);
    KeepPausedQueues(queues);
}

void UnmarkPaused(const std::wstring& printer) {
    std::vector<std::wstring> queues = PausedQueues();
    queues.erase(std::remove(queues.begin(), queues.end(), printer), queues.end());
    KeepPausedQueues(queues);
}

}  // namespace

CQueuePause::CQueuePause(const std::wstring& printer) : m_printer(printer), m_queue(OpenPrintQueue(printer)) {
    if (m_queue->State().paused) {
        AUTrace(L"The print queue of %s is paused already; it is left as it is.", printer.c_str());
        return;
    }
    // The mark goes down before the pause, so that no pause is ever left without it.
    MarkPaused(printer);
    m_paused = m_queue->Pause();
    if (m_paused) {
        AUTrace(L"The print queue of %s is paused for the transfer.", printer.c_str());
    } else {
        AUTrace(L"The print queue of %s could not be paused; its jobs were checked just before.",
                printer.c_str());
        UnmarkPaused(printer);
    }
}

CQueuePause::~CQueuePause() {
    if (!m_paused) return;
    if (m_queue->Resume()) {
        AUTrace(L"The print queue of %s is resumed.", m_printer.c_str());
        UnmarkPaused(m_printer);
    } else {
        // The mark stays: the next start tries again.
        AUTrace(L"Failed: the print queue of %s could not be resumed.", m_printer.c_str());
    }
}

void ResumeQueueLeftPaused() {
    for (const std::wstring& printer : PausedQueues()) {
        AUTrace(L"The print queue of %s was left paused by an earlier run: it is resumed.", printer.c_str());
        if (OpenPrintQueue(printer)->Resume()) UnmarkPaused(printer);
    }
}

}  // namespace scup
