#pragma once
// Helpers shared by the tests: the resource library, a test profile, message pumping with a time
// limit, trace capture and answering message boxes.

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace testing_support {

// The folder of the test program (where ScUpdater.exe and ScUpRes.dll are built).
std::wstring BinFolder();
// Puts the test authority into the machine's Root store (once per prefix it changes anything).
bool TrustTestAuthority();

// Pumps this thread's messages until the condition holds; false after the time limit.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = 10000);
void PumpFor(DWORD ms);

// A fresh empty folder under the temporary folder, of this process alone.
std::wstring MakeScratchFolder(const std::wstring& name);
void WriteTextFile(const std::wstring& path, const std::string& content);
std::string ReadTextFile(const std::wstring& path);
bool FileExists(const std::wstring& path);

// Collects every trace line while it lives.
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    std::vector<std::wstring> Lines() const;
    int Count(const std::wstring& text) const;
    bool Contains(const std::wstring& text) const { return Count(text) > 0; }

private:
    mutable std::mutex mutex_;
    std::vector<std::wstring> lines_;
};

struct CapturedMessage {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT style;
};

// Answers every message box with the given result instead of showing it, and keeps what was asked.
class MessageBoxCapture {
public:
    explicit MessageBoxCapture(int answer = IDOK);
    ~MessageBoxCapture();
    std::vector<CapturedMessage> Messages() const;

private:
    mutable std::mutex mutex_;
    std::vector<CapturedMessage> messages_;
};

}  // namespace testing_support
