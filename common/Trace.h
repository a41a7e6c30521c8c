#pragma once
// The one trace call of the program. By default it discards everything; a sink can be attached
// (tests capture lines, support turns on a trace file).

#include <functional>
#include <string>

namespace scup {

using TraceSink = std::function<void(const std::wstring& line)>;

// Formats like FormatText and hands the line to the attached sink, if any.
void AUTrace(const wchar_t* format, ...);

// True while a sink is attached: costly trace texts (hex dumps) are built only then.
bool TraceEnabled();

// Attaches a sink (an empty function detaches). Returns the previous one.
TraceSink SetTraceSink(TraceSink sink);

// Attaches a sink that appends UTF-8 lines with time and thread to the given file.
void AttachTraceFile(const std::wstring& path);

// Enter/Exit lines around a scope: "Enter : <name>" now, "Exit : <name>" when it ends.
class TraceScope {
  public:
    explicit TraceScope(const wchar_t* name);
    ~TraceScope();
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

  private:
    const wchar_t* name_;
};

}  // namespace scup
