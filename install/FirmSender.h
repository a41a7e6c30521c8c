#pragma once
// Sends one firmware file to the printer whose port is open: "D", the header, then the data in
// pieces of at most 512 bytes, each after its 4-byte length, as far as each status reply's credit
// reaches; the status after the last byte says whether the printer stored the file. The whole
// file must go within 20 minutes. On failure the port's result code says why (3 write, 4 read,
// 5 time-out, 7 refused, 8 cancelled, 17 refused in the printer's present state).

#include <cstdint>
#include <vector>

#include "FirmPort.h"
#include "Pd3File.h"
#include "TransferProgress.h"

class CFirmSender {
  public:
    static constexpr DWORD kStepTimeoutMs = 2000;
    static constexpr ULONGLONG kFileDeadlineMs = 1200000;
    static constexpr std::uint32_t kPieceSize = 512;

    CFirmSender(CFirmPort& port, TransferProgress progress);

    bool Send(CPd3File& file);

  private:
    bool Start(const CPd3File& file);
    bool SendCredit(std::uint32_t credit);
    bool SendPiece(std::uint32_t piece);
    bool ReadNextStatus();
    bool Fail(int code);
    bool Abort(int code);
    bool Refused();

    CFirmPort& m_port;
    TransferProgress m_progress;
    std::vector<BYTE> m_data;
    std::vector<BYTE> m_piece;
    std::uint32_t m_nSent = 0;
    ULONGLONG m_deadline = 0;
};
