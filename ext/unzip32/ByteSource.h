#pragma once
// Where an archive's bytes are read from: a file (FileSource.h) or bytes in memory.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace unzip32 {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly length bytes at offset; false at the end of the source or on a read error.
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t length) const = 0;
};

// Bytes that outlive the source.
class MemorySource : public ByteSource {
  public:
    explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(uint64_t offset, void* buffer, size_t length) const override {
        if (offset > bytes_.size() || length > bytes_.size() - offset) return false;
        if (length > 0) std::memcpy(buffer, bytes_.data() + offset, length);
        return true;
    }

  private:
    std::span<const uint8_t> bytes_;
};

}  // namespace unzip32
