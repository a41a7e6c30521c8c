#include "Trace.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>

#include "Format.h"
#include "Text.h"

namespace scup {
namespace {

std::mutex& SinkMutex() {
    static std::mutex m;
    return m;
}

TraceSink& Sink() {
    static TraceSink sink;
    return sink;
}

}  // namespace

void AUTrace(const wchar_t* format, ...) {
    std::lock_guard lock(SinkMutex());
    if (!Sink()) return;
    va_list args;
    va_start(args, format);
    std::wstring line = FormatTextV(format, args);
    va_end(args);
    Sink()(line);
}

bool TraceEnabled() {
    std::lock_guard lock(SinkMutex());
    return static_cast<bool>(Sink());
}

TraceSink SetTraceSink(TraceSink sink) {
    std::lock_guard lock(SinkMutex());
    std::swap(Sink(), sink);
    return sink;
}

void AttachTraceFile(const std::wstring& path) {
    std::shared_ptr<FILE> file(_wfopen(path.c_str(), L"ab"), [](FILE* f) {
        if (f) fclose(f);
    });
    if (!file) return;
    SetTraceSink([file](const std::wstring& line) {
        SYSTEMTIME t;
        GetLocalTime(&t);
        std::string utf8 = ToUtf8(FormatText(L"%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu:%lu] ", t.wYear,
                                             t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                                             GetCurrentProcessId(), GetCurrentThreadId()) +
                                  line + L"\r\n");
        fwrite(utf8.data(), 1, utf8.size(), file.get());
        fflush(file.get());
    });
}

TraceScope::TraceScope(const wchar_t* name) : name_(name) { AUTrace(L"Enter : %s", name_); }
TraceScope::~TraceScope() { AUTrace(L"Exit : %s", name_); }

}  // namespace scup
