#include "FirmPort.h"

#include <algorithm>
#include <chrono>

#include "common/AnsiText.h"
#include "common/Trace.h"
#include "scfilo.h"

using scup::AUTrace;

namespace {

constexpr BYTE kEsc = 0x1B;
constexpr DWORD kCommandTimeoutMs = 1000;
constexpr DWORD kIdentifyReadMs = 2000;
constexpr DWORD kModeTimeoutMs = 5000;
constexpr DWORD kModeReadMs = 2000;
constexpr DWORD kListTimeoutMs = 1000;
constexpr BYTE kIdentityMark[] = {0x81, 0x20, 0x42};
constexpr std::size_t kModelAt = 3;
constexpr std::size_t kLongRecordsAt = 6;
constexpr std::size_t kCountAt = 24;
constexpr std::size_t kShortRecord = 64;

std::uint32_t Le32(const BYTE* bytes) {
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

DWORD Remaining(ULONGLONG deadline) {
    const ULONGLONG now = CFirmPort::Now();
    return now >= deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, MAXDWORD));
}

std::recursive_timed_mutex g_portClaim;

}  // namespace

CFirmPort::Claim::Claim() : m_lock(g_portClaim) {}

CFirmPort::Claim::Claim(DWORD waitMs) : m_lock(g_portClaim, std::chrono::milliseconds(waitMs)) {}

CFirmPort& CFirmPort::Instance() {
    static CFirmPort port;
    return port;
}

bool CFirmPort::Open(const std::wstring& printerName) {
    CloseDataChannel();
    m_strPrinter = scup::ToAnsi(printerName);
    DWORD portInfo[3] = {0, 0, 0};
    m_bOpen = ScFiloOpenPort(m_strPrinter.c_str(), portInfo) != FALSE;
    if (!m_bOpen) {
        AUTrace(L"Failed: the port of %s could not be opened (error %d)", printerName.c_str(),
                static_cast<int>(GetLastError()));
        return false;
    }
    ScFiloClearChannel();
    AUTrace(L"Success: port of %s opened", printerName.c_str());
    return true;
}

std::uint32_t CFirmPort::StatusCount() const { return Le32(m_status.data() + kCountAt); }

bool CFirmPort::ClearChannel() { return m_bOpen && ScFiloClearChannel() != FALSE; }

bool CFirmPort::Write(const void* bytes, std::size_t length, DWORD timeoutMs) {
    if (!m_bOpen) return false;
    DWORD written = 0;
    return ScFiloWrite(bytes, static_cast<DWORD>(length), &written, timeoutMs) && written == length;
}

bool CFirmPort::SendCommand(char letter, DWORD timeoutMs) {
    const BYTE command[5] = {kEsc, 'i', 'F', static_cast<BYTE>(letter), 0};
    const bool list = letter == 'L' || letter == 'l';
    return Write(command, list ? 5 : 4, timeoutMs);
}

bool CFirmPort::SendLength(std::uint32_t length, DWORD timeoutMs) {
    const BYTE bytes[4] = {static_cast<BYTE>(length), static_cast<BYTE>(length >> 8),
                           static_cast<BYTE>(length >> 16), static_cast<BYTE>(length >> 24)};
    return Write(bytes, sizeof bytes, timeoutMs);
}

CFirmPort::ReadOutcome CFirmPort::ReadStatus(DWORD perReadMs, ULONGLONG deadline) {
    return GatherStatus(perReadMs, deadline, true);
}

CFirmPort::ReadOutcome CFirmPort::ReadStatusBy(ULONGLONG deadline, DWORD perReadMs) {
    return GatherStatus(perReadMs, deadline, false);
}

CFirmPort::ReadOutcome CFirmPort::GatherStatus(DWORD perReadMs, ULONGLONG deadline, bool silenceEnds) {
    m_status.fill(0);
    if (!m_bOpen) return ReadOutcome::Failed;
    std::size_t have = 0;
    while (have < kStatusSize) {
        const DWORD wait = std::min(perReadMs, Remaining(deadline));
        if (wait == 0) return ReadOutcome::TimedOut;
        DWORD got = 0;
        if (!ScFiloRead(m_status.data() + have, static_cast<DWORD>(kStatusSize - have), &got, wait))
            return ReadOutcome::Failed;
        if (got == 0 && silenceEnds) return ReadOutcome::TimedOut;
        have += got;
    }
    return ReadOutcome::Complete;
}

bool CFirmPort::ReadExactly(BYTE* buffer, std::size_t count, ULONGLONG deadline) {
    std::size_t have = 0;
    while (have < count) {
        const DWORD wait = Remaining(deadline);
        if (wait == 0) return false;
        DWORD got = 0;
        if (!ScFiloRead(buffer + have, static_cast<DWORD>(count - have), &got, wait) || got == 0)
            return false;
        have += got;
    }
    return true;
}

int CFirmPort::Identify() {
    if (!ClearChannel() || !SendCommand('I', kCommandTimeoutMs) || !SendCommand('S', kCommandTimeoutMs)) {
        AUTrace(L"Failed: identification could not be sent");
        return kNotIdentified;
    }
    if (ReadStatus(kIdentifyReadMs, Now() + kIdentifyReadMs) != ReadOutcome::Complete ||
        !std::equal(std::begin(kIdentityMark), std::end(kIdentityMark), m_status.begin())) {
        AUTrace(L"Failed: no identification reply");
        return kNotIdentified;
    }
    const std::uint16_t model =
        static_cast<std::uint16_t>(m_status[kModelAt] | (m_status[kModelAt + 1] << 8));
    if (model != m_nModelId) {
        AUTrace(L"Failed: the printer is model %X, not %X", static_cast<unsigned>(model),
                static_cast<unsigned>(m_nModelId));
        return kNotIdentified;
    }
    if (const std::uint32_t limit = StatusCount()) m_nCancelLimit = limit;
    return m_status[kLongRecordsAt] ? kLongRecords : kShortRecords;
}

bool CFirmPort::CheckMode() {
    if (!SendCommand('M', kModeTimeoutMs)) return false;
    // A printer switching modes may take several reads to answer.
    return ReadStatusBy(Now() + kModeTimeoutMs, kModeReadMs) == ReadOutcome::Complete && StatusAccepted();
}

bool CFirmPort::ReadStoredFileList(bool longRecords, std::vector<tagScTrFileHeader>& records, UINT codePage) {
    records.clear();
    if (!ClearChannel()) return false;
    const ULONGLONG start = Now();
    if (!SendCommand(longRecords ? 'l' : 'L', kListTimeoutMs)) return false;
    BYTE count[2] = {0, 0};
    if (!ReadExactly(count, sizeof count, start + kListTimeoutMs)) return false;
    const std::size_t recordSize = longRecords ? tagScTrFileHeader::kSize : kShortRecord;
    std::vector<BYTE> listing(static_cast<std::size_t>(count[0] | (count[1] << 8)) * recordSize);
    if (!ReadExactly(listing.data(), listing.size(), Now() + kListTimeoutMs)) return false;
    for (std::size_t at = 0; at < listing.size(); at += recordSize) {
        tagScTrFileHeader record =
            tagScTrFileHeader::From(std::span<const BYTE>(listing.data() + at, recordSize));
        record.DropCutLeadByte(codePage);
        records.push_back(record);
    }
    return true;
}

bool CFirmPort::OpenDataChannel(DWORD timeoutMs) {
    m_bDataChannel = ScFiloOpenDataChannel(m_strPrinter.c_str(), nullptr, timeoutMs) != nullptr;
    return m_bDataChannel;
}

void CFirmPort::CloseDataChannel() {
    if (!m_bDataChannel) return;
    ScFiloCloseDataChannel();
    m_bDataChannel = false;
}
