// The firmware file reader: a pd3 file's header and data (install/Pd3Reading, which CPd3File reads
// through) and the header and stored-file records of common/Pd3Header.h.

#include <cstddef>
#include <cstdint>
#include <span>

#include "FuzzCheck.h"
#include "common/Pd3Header.h"
#include "install/Pd3Reading.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> file(data, size);
    CPd3HeaderBuffer header;
    std::span<const uint8_t> body;
    if (ReadPd3(file, header, body)) {
        // Header and data lie inside the file, one after the other.
        FUZZ_CHECK(header.HeaderLength() >= pd3::kShortHeader && header.HeaderLength() <= pd3::kLongHeader);
        FUZZ_CHECK(body.size() == header.DataLength());
        FUZZ_CHECK(body.data() == data + header.HeaderLength());
        FUZZ_CHECK(header.Name().size() <= pd3::kNameSize && header.Version().size() <= pd3::kVersionSize &&
                   header.Spec().size() <= pd3::kSpecSize);
        FUZZ_CHECK(header.Key() == header.Name() + "_" + header.Spec());
        header.ModelId();
        header.FileType();
        header.HasSpec();
    }
    // A printer's stored-file record is read the same way, of whatever length it comes.
    if (const auto record = pd3::Header::Decode(file.first(std::min(size, pd3::kLongHeader)))) {
        FUZZ_CHECK(record->name.size() <= pd3::kNameSize);
        if (record->Problem().empty()) {
            // What reads as a header writes back as the same header.
            const auto again = pd3::Header::Decode(record->Encode());
            FUZZ_CHECK(again && again->name == record->name && again->dataLength == record->dataLength &&
                       again->model == record->model);
        }
    }
    return 0;
}
