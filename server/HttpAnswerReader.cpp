#include "HttpAnswerReader.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "HttpRequest.h"
#include "common/AnsiText.h"
#include "common/Handles.h"
#include "common/Trace.h"

using scup::AUTrace;

namespace scup::http {

namespace {

std::atomic<unsigned long long> g_stallBytes{60ull * 1024};
std::atomic<DWORD> g_stallWindowMs{60000};

// Whether a download still moves: at least the rule's bytes in each of its windows.
class CMovementWatch {
  public:
    explicit CMovementWatch(unsigned long long total)
        : m_windowStart(GetTickCount64()), m_totalAtStart(total) {}
    // False once a whole window brought too little; total: the bytes so far.
    bool StillMoving(unsigned long long total) {
        const ULONGLONG now = GetTickCount64();
        if (now - m_windowStart < g_stallWindowMs.load()) return true;
        const unsigned long long moved = total - m_totalAtStart;
        m_windowStart = now;
        m_totalAtStart = total;
        if (moved >= g_stallBytes.load()) return true;
        AUTrace(L"Failed: the download brought %llu bytes in %lu ms, less than the %llu it must to go on.",
                moved, static_cast<unsigned long>(g_stallWindowMs.load()), g_stallBytes.load());
        return false;
    }

  private:
    ULONGLONG m_windowStart;
    unsigned long long m_totalAtStart;
};

// The HTTP layer hands the body over a few kilobytes at a time: each turn of the worker gathers
// what arrives within a moment, so that a fast download is not slowed by the hand-overs and a slow
// one still shows its progress. One buffer serves every turn (a buffer grown afresh for each piece
// cost the download almost half its speed under Wine); a read left behind on the worker may still
// write into it, so it is shared.
//
// The stack may count bytes past the announced length as available (those of a server that sends
// more than it announced), and a read that asks for them can wait for more that never come: about
// one exchange in twenty hung so under Wine. No read asks beyond the announced end.
struct Piece {
    static constexpr size_t kGatherBytes = 256 * 1024;
    static constexpr ULONGLONG kGatherMs = 100;
    static constexpr unsigned long long kUnknownLength = ~0ull;
    std::vector<char> bytes = std::vector<char>(kGatherBytes);
    size_t size = 0;
    // What the answer still owes of its announced length before this piece.
    unsigned long long owed = kUnknownLength;
    bool ended = false;
    bool queryFailed = false;
};

BOOL GatherPiece(HINTERNET request, Piece& piece) {
    const ULONGLONG started = GetTickCount64();
    while (piece.size < Piece::kGatherBytes && GetTickCount64() - started < Piece::kGatherMs) {
        if (piece.owed != Piece::kUnknownLength && piece.size >= piece.owed) {
            piece.ended = true;
            return TRUE;
        }
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request, &available)) {
            piece.queryFailed = true;
            return FALSE;
        }
        if (available == 0) {
            piece.ended = true;
            return TRUE;
        }
        unsigned long long room = Piece::kGatherBytes - piece.size;
        if (piece.owed != Piece::kUnknownLength) room = std::min(room, piece.owed - piece.size);
        const DWORD wanted = static_cast<DWORD>(std::min<unsigned long long>(available, room));
        DWORD read = 0;
        if (!WinHttpReadData(request, piece.bytes.data() + piece.size, wanted, &read)) return FALSE;
        piece.size += read;
    }
    return TRUE;
}

// Where the pieces of one answer go: memory for an exchange, the file for a download.
class CBodySink {
  public:
    CBodySink(AnswerMode mode, const std::wstring& path, HANDLE file, unsigned long long limit,
              const DownloadProgress& progress, unsigned long long bytesPerPercent, unsigned long long start)
        : m_mode(mode),
          m_path(path),
          m_file(file),
          m_limit(limit),
          m_progress(progress),
          m_bytesPerPercent(bytesPerPercent),
          m_start(start),
          m_total(start) {}

    ServerResult Take(const char* bytes, DWORD count) {
        if (m_total == 0 && LooksLikeWebPage(bytes, count)) {
            AUTrace(
                L"Failed: a web page came back where the server's %s was expected: the network asks to sign "
                L"in.",
                m_mode == AnswerMode::File ? L"file" : L"answer");
            m_body.clear();
            return ServerResult::SignInRequired;
        }
        return m_mode == AnswerMode::File ? WriteToFile(bytes, count) : Keep(bytes, count);
    }
    // The bytes of the body so far, with those written on earlier rounds.
    unsigned long long Total() const { return m_total; }
    // Those of this answer alone.
    unsigned long long ThisAnswer() const { return m_total - m_start; }
    std::string& Body() { return m_body; }

  private:
    ServerResult WriteToFile(const char* bytes, DWORD count) {
        if (m_limit > 0 && m_total + count > m_limit) {
            AUTrace(L"Failed: the answer runs past the %llu bytes expected; it is not read further.",
                    m_limit);
            return ServerResult::TooLong;
        }
        DWORD written = 0;
        if (!WriteFile(m_file, bytes, count, &written, nullptr) || written != count) {
            // A full disk must not pass for a complete download, nor for a network failure.
            const DWORD error = GetLastError();
            AUTrace(L"Failed: writing %s failed (error %lu).", m_path.c_str(), error);
            return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? ServerResult::DiskFull
                                                                               : ServerResult::Failed;
        }
        m_total += count;
        if (m_progress && m_bytesPerPercent > 0) m_progress(static_cast<int>(m_total / m_bytesPerPercent));
        return m_movement.StillMoving(m_total) ? ServerResult::Success : ServerResult::Failed;
    }

    ServerResult Keep(const char* bytes, DWORD count) {
        if (m_body.size() + count > kMaxAnswerBytes) {
            AUTrace(L"Failed: the answer is larger than %u bytes; it is not read further.",
                    static_cast<unsigned>(kMaxAnswerBytes));
            m_body.clear();
            return ServerResult::AnswerUnusable;
        }
        m_body.append(bytes, count);
        m_total += count;
        return ServerResult::Success;
    }

    AnswerMode m_mode;
    const std::wstring& m_path;
    HANDLE m_file;
    unsigned long long m_limit;
    const DownloadProgress& m_progress;
    unsigned long long m_bytesPerPercent;
    unsigned long long m_start;
    unsigned long long m_total;
    std::string m_body;
    CMovementWatch m_movement{m_total};
};

ServerResult ReadBody(CHttpRequest& request, AnswerMode mode, CBodySink& sink) {
    const HINTERNET handle = request.Handle();
    const auto piece = std::make_shared<Piece>();
    unsigned long long announced = 0;
    const bool announces = AnnouncedLength(handle, announced);
    for (;;) {
        piece->size = 0;
        piece->owed = announces ? announced - std::min(announced, sink.ThisAnswer()) : Piece::kUnknownLength;
        DWORD error = 0;
        // An exchange's answer must arrive within the time-out in all; a download only each read.
        if (mode == AnswerMode::File) request.RestartWaitClock();
        const CCallWorker::End end =
            request.RunBlocking([handle, piece] { return GatherPiece(handle, *piece); }, error);
        if (end != CCallWorker::End::Finished) {
            sink.Body().clear();
            return CHttpRequest::ResultOfUnfinished(end, L"the rest of the answer");
        }
        if (error != 0) {
            AUTrace(piece->queryFailed ? L"WinHttpQueryDataAvailable() failed with Error Code : %u."
                                       : L"WinHttpReadData() failed with Error Code : %u.",
                    error);
            sink.Body().clear();
            // A download whose connection broke goes on; one the stack gave up waiting for does not.
            const bool timedOut = error == ERROR_WINHTTP_TIMEOUT || error == WSAETIMEDOUT;
            return mode == AnswerMode::File && !timedOut ? ServerResult::Interrupted : ServerResult::Failed;
        }
        if (piece->size == 0 && piece->ended) return ServerResult::Success;
        const DWORD read = static_cast<DWORD>(piece->size);
        AUTrace(L"WinHttpReadData() read %d bytes", static_cast<int>(read));
        const ServerResult taken = sink.Take(piece->bytes.data(), read);
        if (taken != ServerResult::Success) return taken;
        if (CCallWorker::CancelRequested()) {
            AUTrace(L"Cancel event occured while reading data.");
            return ServerResult::Cancelled;
        }
        if (piece->ended) return ServerResult::Success;
    }
}

// Where the body goes: a new file, or the file of the rounds before, written on from their end.
UniqueFile OpenTarget(const std::wstring& path, unsigned long long start) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                start > 0 ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        AUTrace(L"Failed: %s could not be created (error %lu).", path.c_str(), GetLastError());
        return file;
    }
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(start);
    if (start > 0 && (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get()))) {
        AUTrace(L"Failed: %s could not be written on from byte %llu (error %lu).", path.c_str(), start,
                GetLastError());
        file.reset();
    }
    return file;
}

// Whether the server may give the rest of this answer later: it serves byte ranges and names the
// version of the file, so that a rest of another version is never joined to what came.
void NoteWhetherResumable(HINTERNET handle, SDownloadPoint& point) {
    unsigned long long length = 0;
    point.total = AnnouncedLength(handle, length) ? length : 0;
    const std::optional<std::wstring> ranges = AnswerHeader(handle, L"Accept-Ranges");
    std::optional<std::wstring> validator = AnswerHeader(handle, L"ETag");
    if (validator && validator->rfind(L"W/", 0) == 0) validator.reset();  // a weak one names no bytes
    if (!validator) validator = AnswerHeader(handle, L"Last-Modified");
    point.resumable = ranges && _wcsicmp(ranges->c_str(), L"bytes") == 0 && validator && !validator->empty();
    point.validator = point.resumable ? *validator : std::wstring();
}

}  // namespace

bool LooksLikeWebPage(const char* bytes, size_t count) {
    std::string_view text(bytes, count);
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    while (!text.empty() &&
           (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' || text.front() == '\n'))
        text.remove_prefix(1);
    const auto startsWith = [&text](std::string_view prefix) {
        return text.size() >= prefix.size() && _strnicmp(text.data(), prefix.data(), prefix.size()) == 0;
    };
    return startsWith("<!doctype html") || startsWith("<html");
}

void SetStallRule(unsigned long long minimumBytes, unsigned long windowMs) {
    g_stallBytes = minimumBytes;
    g_stallWindowMs = windowMs;
}

ServerResult ReadAnswer(CHttpRequest& request, std::wstring& target, AnswerMode mode,
                        const DownloadProgress& progress, unsigned long long fileLimit) {
    TraceScope scope(L"CAUHttpConnection::WriteResponse()");
    const HINTERNET handle = request.Handle();
    SDownloadPoint& point = request.DownloadPoint();
    const unsigned long long start = mode == AnswerMode::File && point.askedForRest ? point.written : 0;
    UniqueFile file;
    unsigned long long length = 0;
    if (mode == AnswerMode::File && fileLimit > 0 && AnnouncedLength(handle, length) &&
        start + length > fileLimit) {
        AUTrace(L"Failed: the answer announces %llu bytes, more than the %llu expected; it is not read.",
                start + length, fileLimit);
        return ServerResult::TooLong;
    }
    if (mode == AnswerMode::Text) {
        target.clear();
    } else {
        file = OpenTarget(target, start);
        if (!file) return ServerResult::Failed;
        // The rest keeps the first answer's length and version, which it was checked against.
        if (start == 0) NoteWhetherResumable(handle, point);
    }
    unsigned long long announced = 0;
    const unsigned long long bytesPerPercent =
        progress && AnnouncedLength(handle, announced) ? (start + announced) / 100 : 0;
    CBodySink sink(mode, target, file.get(), fileLimit, progress, bytesPerPercent, start);
    ServerResult result = ReadBody(request, mode, sink);
    if (result == ServerResult::Success && AnnouncedLength(handle, announced) &&
        announced != sink.ThisAnswer()) {
        // A connection closed early looks like the end of the answer: only the count tells.
        AUTrace(L"Failed: the answer ended after %llu of the %llu bytes it announced.", sink.ThisAnswer(),
                announced);
        sink.Body().clear();
        // An exchange only asks, so its answer is asked for again; a download goes on from where
        // it broke.
        result = mode == AnswerMode::Text ? ServerResult::ConnectionLost : ServerResult::Interrupted;
    }
    if (result == ServerResult::Success && start > 0 && point.total > 0 && sink.Total() != point.total) {
        // A rest that announced no length ended early: the file is not whole yet.
        AUTrace(L"Failed: the download ended after %llu of the %llu bytes of the file.", sink.Total(),
                point.total);
        result = ServerResult::Interrupted;
    }
    if (mode == AnswerMode::File) point.written = result == ServerResult::Interrupted ? sink.Total() : 0;
    if (result == ServerResult::Cancelled) file.reset();
    if (progress && result == ServerResult::Success) progress(100);
    if (progress && result != ServerResult::Success && result != ServerResult::Cancelled &&
        result != ServerResult::Interrupted)
        progress(-1);
    TraceDump(L"RESPONSE IN BINARY FORMAT : \r\n%s", sink.Body());
    if (mode == AnswerMode::Text)
        target = result == ServerResult::Success ? FromAnsi(sink.Body()) : std::wstring();
    AUTrace(L"Char count in Response Data: %d", static_cast<int>(sink.Body().size()));
    return result;
}

}  // namespace scup::http
