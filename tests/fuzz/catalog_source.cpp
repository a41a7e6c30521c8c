// mkcatalog's reader of the catalog source ("catalog-src.xml"): the document and every element and
// attribute it checks.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "CatalogSource.h"
#include "FuzzCheck.h"
#include "ScratchFolder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path& folder = fuzz::ScratchFolder();
    fuzz::WriteFile(folder / mkcatalog::kSourceFileName,
                    std::string_view(reinterpret_cast<const char*>(data), size));
    std::string error;
    const auto source = mkcatalog::CatalogSource::Load(folder, error);
    // Either a source or a reason, never both and never neither.
    FUZZ_CHECK(source.has_value() == error.empty());
    if (source) {
        FUZZ_CHECK(!source->updater.version.empty() && !source->updater.files.empty());
        for (const mkcatalog::SourceModel& model : source->models)
            for (const mkcatalog::SourcePackage& package : model.packages)
                FUZZ_CHECK(!package.specs.empty() && !package.texts.empty());
    }
    return 0;
}
