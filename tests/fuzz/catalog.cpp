// The update server's reader of the served catalog ("catalog.xml"). The folder holds an empty file
// for every path that the seed catalog names, so that inputs near the seed get past the checks that
// the named files exist.

#include "Catalog.h"

#include <cstddef>
#include <cstdint>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "ScratchFolder.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    pugi::xml_document seed;
    if (!seed.load_file(FUZZ_CATALOG_SEED)) return 0;
    for (const pugi::xpath_node& attribute : seed.select_nodes("//@file | //@description | //@package")) {
        const std::string path = attribute.attribute().value();
        if (updateserver::IsSafeRelativePath(path)) fuzz::WriteFile(fuzz::ScratchFolder() / path, "");
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path& folder = fuzz::ScratchFolder();
    fuzz::WriteFile(folder / updateserver::kCatalogFileName,
                    std::string_view(reinterpret_cast<const char*>(data), size));
    std::string error;
    const auto catalog = updateserver::Catalog::Load(folder, error);
    FUZZ_CHECK(catalog.has_value() == error.empty());
    if (catalog) {
        for (const updateserver::CatalogModel& model : catalog->Models()) {
            FUZZ_CHECK(catalog->FindModel(model.name) != nullptr);
            for (const updateserver::CatalogPackage& package : model.packages) {
                FUZZ_CHECK(updateserver::IsSafeRelativePath(package.description) &&
                           updateserver::IsSafeRelativePath(package.package));
                FUZZ_CHECK(catalog->FindPackage(&model, package.id, package.spec) != nullptr);
            }
        }
    }
    return 0;
}
