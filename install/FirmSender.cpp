#include "FirmSender.h"

#include <algorithm>

#include "common/Trace.h"

using scup::AUTrace;

namespace {

// How long the printer may take to store a file once all of it has arrived.
DWORD FinalStatusWait(std::uint32_t dataLength) {
    const ULONGLONG wait = static_cast<ULONGLONG>(dataLength) * 1500 / 1000000;
    return static_cast<DWORD>(std::max<ULONGLONG>(wait, CFirmSender::kStepTimeoutMs));
}

}  // namespace

CFirmSender::CFirmSender(CFirmPort& port, TransferProgress progress)
    : m_port(port), m_progress(std::move(progress)) {}

bool CFirmSender::Fail(int code) {
    m_port.CloseDataChannel();
    if (code == kTransferRefused && m_port.LastStatus()[8] == 2) code = kTransferNotReady;
    m_port.SetResultCode(code);
    AUTrace(L"Failed: firmware download ended with %d after %d bytes", code, static_cast<int>(m_nSent));
    return false;
}

// A download that stops early tells the printer with a length of 0.
bool CFirmSender::Abort(int code) {
    return Fail(m_port.SendLength(0, kStepTimeoutMs) ? code : kTransferWriteFailed);
}

bool CFirmSender::Refused() {
    AUTrace(L"Failed: the printer refused the download");
    return Fail(kTransferRefused);
}

bool CFirmSender::Send(CPd3File& file) {
    m_nSent = 0;
    if (file.ModelId() != m_port.ModelId()) {
        AUTrace(L"Failed: the file is for model %X, the printer is %X", static_cast<unsigned>(file.ModelId()),
                static_cast<unsigned>(m_port.ModelId()));
        return false;
    }
    if (!file.ReadData(m_data)) {
        AUTrace(L"Failed: the firmware data could not be read");
        return false;
    }
    if (!Start(file)) return false;
    std::uint32_t credit = std::min<std::uint32_t>(m_port.StatusCount(), file.DataLength());
    while (credit > 0) {
        if (!SendCredit(credit)) return false;
        if (!ReadNextStatus()) return false;
        credit = std::min<std::uint32_t>(m_port.StatusCount(), file.DataLength() - m_nSent);
    }
    if (m_nSent < m_data.size()) {
        AUTrace(L"Failed: the printer gave no more credit");
        return Abort(kTransferTimedOut);
    }
    m_port.CloseDataChannel();
    AUTrace(L"Success: firmware download of %d bytes stored", static_cast<int>(m_nSent));
    return true;
}

bool CFirmSender::Start(const CPd3File& file) {
    m_port.ClearChannel();
    m_deadline = CFirmPort::Now() + kFileDeadlineMs;
    if (!m_port.OpenDataChannel(kStepTimeoutMs)) return Fail(kTransferTimedOut);
    if (!m_port.SendCommand('D', kStepTimeoutMs)) return Fail(kTransferWriteFailed);
    if (!m_port.Write(file.HeaderBytes(), file.HeaderLength(), kStepTimeoutMs))
        return Fail(kTransferWriteFailed);
    if (m_port.ReadStatus(kStepTimeoutMs, CFirmPort::Now() + kStepTimeoutMs) !=
        CFirmPort::ReadOutcome::Complete)
        return Fail(kTransferReadFailed);
    if (!m_port.StatusAccepted()) return Refused();
    AUTrace(L"Success: download of %d bytes accepted", static_cast<int>(file.DataLength()));
    return true;
}

bool CFirmSender::SendCredit(std::uint32_t credit) {
    const std::uint64_t total = m_data.size();
    while (credit > 0) {
        if (CFirmPort::Now() >= m_deadline) return Abort(kTransferTimedOut);
        const std::uint32_t piece = std::min(kPieceSize, credit);
        if (!SendPiece(piece)) return Fail(kTransferWriteFailed);
        m_nSent += piece;
        credit -= piece;
        const int percent = static_cast<int>(static_cast<std::uint64_t>(m_nSent) * 100 / total);
        if (m_progress && m_progress(percent) == 0) {
            AUTrace(L"Failed: firmware download cancelled");
            return Abort(kTransferCancelled);
        }
    }
    if (m_nSent == total) AUTrace(L"Success: last data byte sent");
    return true;
}

// The length and its bytes go in one write: the same bytes on the line, half the calls.
bool CFirmSender::SendPiece(std::uint32_t piece) {
    m_piece.resize(4 + piece);
    for (std::size_t i = 0; i < 4; ++i) m_piece[i] = static_cast<BYTE>(piece >> (8 * i));
    std::copy_n(m_data.begin() + m_nSent, piece, m_piece.begin() + 4);
    return m_port.Write(m_piece.data(), m_piece.size(), kStepTimeoutMs);
}

bool CFirmSender::ReadNextStatus() {
    const DWORD perRead = m_nSent == m_data.size() ? FinalStatusWait(m_nSent) : kStepTimeoutMs;
    const CFirmPort::ReadOutcome outcome = m_port.ReadStatus(perRead, m_deadline);
    if (outcome == CFirmPort::ReadOutcome::Failed) return Fail(kTransferReadFailed);
    if (outcome == CFirmPort::ReadOutcome::TimedOut) {
        AUTrace(L"Failed: no status from the printer");
        return m_nSent < m_data.size() ? Abort(kTransferTimedOut) : Fail(kTransferTimedOut);
    }
    if (!m_port.StatusAccepted()) return Refused();
    return true;
}
