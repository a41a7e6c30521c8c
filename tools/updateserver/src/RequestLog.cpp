#include "RequestLog.h"

#include <chrono>
#include <ctime>

namespace updateserver {
namespace {

std::string Now() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + length, sizeof text - length, ".%03d", static_cast<int>(millis));
    return text;
}

// Control characters from a request must not break the one-line-per-request form.
std::string OneLine(const std::string& text) {
    std::string out;
    for (const char c : text) out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    return out;
}

}  // namespace

RequestLog::RequestLog() : out_(stderr) {}

RequestLog::RequestLog(const std::string& path) : out_(std::fopen(path.c_str(), "a")) {}

void RequestLog::Write(const std::string& client, const std::string& method, const std::string& path,
                       int status, const std::string& note) {
    std::string line = Now();
    for (const std::string& part :
         {client, OneLine(method), OneLine(path), std::to_string(status), OneLine(note)}) {
        if (part.empty()) continue;
        line += ' ';
        line += part;
    }
    WriteLine(line);
}

void RequestLog::Event(const std::string& text) { WriteLine(Now() + " " + OneLine(text)); }

void RequestLog::WriteLine(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (!out_) return;
    std::fputs(line.c_str(), out_.get());
    std::fputc('\n', out_.get());
    std::fflush(out_.get());
}

}  // namespace updateserver
