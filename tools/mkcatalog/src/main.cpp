// mkcatalog: builds the folder that tools/updateserver serves from a catalog source folder.

#include <iostream>
#include <string_view>

#include "CatalogBuilder.h"

namespace {

const char* Usage() {
    return "usage: mkcatalog --source DIR --out DIR [--packages DIR]... [--placeholders]\n"
           "  --source DIR     folder with catalog-src.xml and the thumbnails it names\n"
           "  --out DIR        the catalog folder to make (replaced only when the build succeeds)\n"
           "  --packages DIR   folder with real packages (installers, .pd3 firmware, the updater's files);\n"
           "                   may be given more than once, searched in order, then DIR/packages of "
           "--source\n"
           "  --placeholders   make marked stand-ins for packages that are not found instead of failing\n";
}

}  // namespace

int main(int argc, char** argv) {
    mkcatalog::BuildOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::cout << Usage();
            return 0;
        } else if (arg == "--placeholders") {
            options.placeholders = true;
        } else if (arg == "--source" && hasValue) {
            options.source = argv[++i];
        } else if (arg == "--out" && hasValue) {
            options.out = argv[++i];
        } else if (arg == "--packages" && hasValue) {
            options.packageFolders.emplace_back(argv[++i]);
        } else {
            std::cerr << "mkcatalog: bad argument \"" << arg << "\"\n" << Usage();
            return 2;
        }
    }
    if (options.source.empty() || options.out.empty()) {
        std::cerr << "mkcatalog: --source and --out are required\n" << Usage();
        return 2;
    }
    mkcatalog::CatalogBuilder builder(options);
    std::string error;
    if (!builder.Build(error)) {
        std::cerr << "mkcatalog: " << error << "\n";
        return 1;
    }
    for (const std::string& line : builder.Made()) std::cout << line << "\n";
    std::cout << "catalog written to " << options.out.string() << "\n";
    return 0;
}
