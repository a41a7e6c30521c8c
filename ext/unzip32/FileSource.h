#pragma once
// An archive's bytes read from its file.

#include <windows.h>

#include <string>

#include "ByteSource.h"
#include "common/Handles.h"

namespace unzip32 {

class FileSource : public ByteSource {
  public:
    // False when the file cannot be opened for reading or its size cannot be read.
    bool Open(const std::wstring& path);
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t length) const override;

  private:
    scup::UniqueFile file_;
    uint64_t size_ = 0;
};

}  // namespace unzip32
