#pragma once
// One line per request: time, client, method, path, status and what was asked and answered.

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace updateserver {

class RequestLog {
  public:
    // Writes to stderr.
    RequestLog();
    // Appends to the file; IsOpen tells whether it could be opened.
    explicit RequestLog(const std::string& path);

    bool IsOpen() const { return out_ != nullptr; }
    void Write(const std::string& client, const std::string& method, const std::string& path, int status,
               const std::string& note);
    // A line about the server itself (start, reload, stop).
    void Event(const std::string& text);

  private:
    void WriteLine(const std::string& line);

    struct FileCloser {
        void operator()(std::FILE* file) const {
            if (file != stderr) std::fclose(file);
        }
    };

    std::mutex mutex_;
    std::unique_ptr<std::FILE, FileCloser> out_;
};

}  // namespace updateserver
