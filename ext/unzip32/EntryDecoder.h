#pragma once
// Unpacks one entry's data (stored or deflated) and checks it against the central directory: the
// output may never grow past the recorded size, and at the end size and CRC-32 must match.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "ZipArchive.h"

namespace unzip32 {

// Takes each piece of output; false stops the unpacking (the write failed).
using OutputSink = std::function<bool(const uint8_t* data, size_t length)>;

// PK_OK, PK_ERR (damaged data, size or CRC-32 mismatch), PK_EOF, PK_MEM, PK_DISK (the sink
// failed) or IZ_UNSUP (encrypted, or a method other than stored and deflated).
int DecodeEntry(const ZipArchive& archive, const ZipEntry& entry, const OutputSink& sink);

// Whether DecodeEntry can unpack the entry at all.
bool IsSupportedEntry(const ZipEntry& entry);

}  // namespace unzip32
