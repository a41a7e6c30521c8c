// The signed-statement reader (install/StatementForm, which ParseSignedStatement reads through):
// its lines and fields, the strict Base64 of the signature and the UTC time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "install/StatementForm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    SStatementForm form;
    std::wstring why;
    if (ReadStatementForm(bytes, form, why)) {
        // The signed part is the statement up to its signature line, which ends the bytes.
        FUZZ_CHECK(why.empty());
        FUZZ_CHECK(bytes.compare(0, form.signedPart.size(), form.signedPart) == 0);
        FUZZ_CHECK(bytes.compare(form.signedPart.size(), 11, "signature: ") == 0);
        FUZZ_CHECK(bytes.back() == '\n' && bytes.size() <= kMaxStatementBytes);
        FUZZ_CHECK(!form.package.empty() && !form.file.empty() && form.keyId.size() == 16);
    } else {
        FUZZ_CHECK(!why.empty());
    }
    // The two value readers on their own, with any text.
    std::vector<unsigned char> decoded;
    if (scup::DecodeStrictBase64(bytes, decoded))
        FUZZ_CHECK(decoded.size() == bytes.size() / 4 * 3 - (bytes.size() - bytes.find_last_not_of('=') - 1));
    unsigned long long time = 0;
    if (scup::ParseUtcTime(bytes, time)) FUZZ_CHECK(size == 20 && time % 10'000'000 == 0);
    return 0;
}
