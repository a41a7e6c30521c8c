#pragma once
// Owns a POSIX file descriptor.

#include <unistd.h>

namespace updateserver {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }

  private:
    int fd_;
};

}  // namespace updateserver
