#pragma once
// The printer's port as the firmware transfer uses it, through scfilo.dll: the 4-byte commands
// (ESC "i" "F" and a letter), 32-byte status replies gathered across reads, the identification,
// the mode check and the list of stored files. One per process: the port state, the model
// identifier, the cancel limit, the last status, the result code and the printer last opened
// live from one transfer to the next. Every exchange ends within its time-out.
//
// One thread at a time uses it, under a Claim held for the whole exchange: the thread running a
// transfer (update or main thread), whose worker works under that claim while the thread waits
// for it; the update thread reading stored files during a check; or the main thread ending the
// printer's mode as the main dialog closes.

#include <windows.h>

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "ScTrFileHeader.h"

enum FirmTransferResult : int {
    kTransferDone = 0,
    kTransferNotStarted = 1,  // no transfer since the result was last forgotten
    kTransferPortNotOpen = 2,
    kTransferWriteFailed = 3,
    kTransferReadFailed = 4,
    kTransferTimedOut = 5,
    kTransferRefused = 7,
    kTransferCancelled = 8,
    kTransferNotReady = 17,
};

// What identification says about the printer's stored-file records.
enum PrinterIdentity : int { kNotIdentified = 0, kShortRecords = 1, kLongRecords = 2 };

class CFirmPort {
  public:
    static constexpr std::size_t kStatusSize = 32;
    using Status = std::array<BYTE, kStatusSize>;

    enum class ReadOutcome { Complete, Failed, TimedOut };

    static CFirmPort& Instance();

    // The right to use the port for one exchange. A thread may claim it again inside its own claim.
    class Claim {
      public:
        // Waits until the port is free.
        Claim();
        // Waits at most waitMs; Held() tells whether the port was had.
        explicit Claim(DWORD waitMs);
        Claim(const Claim&) = delete;
        Claim& operator=(const Claim&) = delete;
        bool Held() const { return m_lock.owns_lock(); }

      private:
        std::unique_lock<std::recursive_timed_mutex> m_lock;
    };

    // Opens the printer's port for commands (and clears the channel once); false when the library
    // cannot open it.
    bool Open(const std::wstring& printerName);
    bool IsOpen() const { return m_bOpen; }
    const std::string& PrinterName() const { return m_strPrinter; }

    void SetModelId(std::uint16_t model) { m_nModelId = model; }
    std::uint16_t ModelId() const { return m_nModelId; }
    std::uint32_t CancelLimit() const { return m_nCancelLimit; }
    int ResultCode() const { return m_nResult; }
    void SetResultCode(int code) { m_nResult = code; }
    const Status& LastStatus() const { return m_status; }
    bool StatusAccepted() const { return m_status[18] == 1; }
    std::uint32_t StatusCount() const;

    bool ClearChannel();
    bool Write(const void* bytes, std::size_t length, DWORD timeoutMs);
    bool SendCommand(char letter, DWORD timeoutMs);
    bool SendLength(std::uint32_t length, DWORD timeoutMs);
    // Gathers a 32-byte status into LastStatus(): reads of at most perReadMs each until the reply is
    // whole, a read brings nothing (TimedOut) or the line fails (Failed), and never past deadline.
    ReadOutcome ReadStatus(DWORD perReadMs, ULONGLONG deadline);
    // The same for a reply that may keep the printer busy for longer than one read: a read that
    // brings nothing is no end, only the deadline is.
    ReadOutcome ReadStatusBy(ULONGLONG deadline, DWORD perReadMs);
    // Reads exactly count bytes before the deadline.
    bool ReadExactly(BYTE* buffer, std::size_t count, ULONGLONG deadline);

    // "I" then "S": the reply must name the current model. Keeps a non-zero cancel limit.
    int Identify();
    // "M" before sending, for the models that need it: true when the printer accepts.
    bool CheckMode();
    // "L" (64-byte records) or "l" (128-byte records), read once; records come zero-padded to 128
    // bytes, in the printer's order, with a name's cut double-byte character dropped.
    bool ReadStoredFileList(bool longRecords, std::vector<tagScTrFileHeader>& records,
                            UINT codePage = CP_ACP);

    bool OpenDataChannel(DWORD timeoutMs);
    void CloseDataChannel();

    static ULONGLONG Now() { return GetTickCount64(); }

  private:
    CFirmPort() = default;

    ReadOutcome GatherStatus(DWORD perReadMs, ULONGLONG deadline, bool silenceEnds);

    bool m_bOpen = false;
    bool m_bDataChannel = false;
    std::string m_strPrinter;
    std::uint16_t m_nModelId = 0;
    std::uint32_t m_nCancelLimit = 0;
    int m_nResult = 0;
    Status m_status{};
};
