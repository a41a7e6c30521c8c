// mkcatalog: builds the folder that tools/updateserver serves from a catalog source folder, signing a
// statement for every file the updater fetches; "mkcatalog sign" signs statements for any files.

#include <charconv>
#include <chrono>
#include <iostream>
#include <optional>
#include <string_view>
#include <vector>

#include "CatalogBuilder.h"
#include "StatementSigner.h"

namespace {

namespace fs = std::filesystem;

const char* Usage() {
    return "usage: mkcatalog --source DIR --out DIR (--key FILE | --unsigned) [--packages DIR]...\n"
           "                 [--placeholders] [--expires TIME | --valid-days N]\n"
           "       mkcatalog sign --key FILE --package P --spec S --version V [--model M] [--replaces R]\n"
           "                 [--expires TIME | --valid-days N] FILE...\n"
           "  --source DIR     folder with catalog-src.xml and the thumbnails it names\n"
           "  --out DIR        the catalog folder to make (replaced only when the build succeeds)\n"
           "  --packages DIR   folder with real packages (installers, .pd3 firmware, the updater's files);\n"
           "                   may be given more than once, searched in order, then DIR/packages of "
           "--source\n"
           "  --placeholders   make marked stand-ins for packages that are not found instead of failing\n"
           "  --key FILE       the maker's ECDSA P-256 private key (PEM); it signs a statement X.sig beside\n"
           "                   every file X that the updater fetches\n"
           "  --unsigned       write no statements (a catalog as older servers have)\n"
           "  --expires TIME   the statements hold until TIME, UTC, YYYY-MM-DDTHH:MM:SSZ\n"
           "  --valid-days N   the statements hold for N days from now (default 90)\n"
           "sign writes FILE.sig beside each FILE with the fields given; --model and --replaces default to "
           "empty.\n";
}

int BadUsage(const std::string& message) {
    std::cerr << "mkcatalog: " << message << "\n" << Usage();
    return 2;
}

// The statements' expiry from --expires or --valid-days; Resolve fails with a message when they are wrong.
struct Expiry {
    std::optional<std::string> expires;
    std::optional<std::string> validDays;

    bool Given() const { return expires || validDays; }
    bool Resolve(std::string& result, std::string& error) const {
        if (expires && validDays) {
            error = "give --expires or --valid-days, not both";
            return false;
        }
        if (expires) {
            if (!mkcatalog::ParseStatementTime(*expires)) {
                error = "--expires \"" + *expires + "\" is not a UTC time YYYY-MM-DDTHH:MM:SSZ";
                return false;
            }
            result = *expires;
            return true;
        }
        int days = mkcatalog::kDefaultValidDays;
        if (validDays) {
            const char* end = validDays->data() + validDays->size();
            const auto [at, ec] = std::from_chars(validDays->data(), end, days);
            if (validDays->empty() || ec != std::errc() || at != end || days < 1 || days > 36500) {
                error = "--valid-days \"" + *validDays + "\" is not a number of days from 1 to 36500";
                return false;
            }
        }
        result = mkcatalog::StatementTimeInDays(days);
        return true;
    }
};

void WarnIfPast(const std::string& expires) {
    const auto now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    if (mkcatalog::ParseStatementTime(expires).value_or(0) <= now)
        std::cerr << "mkcatalog: warning: the statements have expired already (" << expires
                  << "); the updater refuses them\n";
}

int Sign(int argc, char** argv) {
    std::string keyFile;
    std::optional<std::string> package, spec, version;
    mkcatalog::StatementFields fields;
    Expiry expiry;
    std::vector<fs::path> files;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::cout << Usage();
            return 0;
        } else if (arg == "--key" && hasValue) {
            keyFile = argv[++i];
        } else if (arg == "--package" && hasValue) {
            package = argv[++i];
        } else if (arg == "--spec" && hasValue) {
            spec = argv[++i];
        } else if (arg == "--version" && hasValue) {
            version = argv[++i];
        } else if (arg == "--model" && hasValue) {
            fields.model = argv[++i];
        } else if (arg == "--replaces" && hasValue) {
            fields.replaces = argv[++i];
        } else if (arg == "--expires" && hasValue) {
            expiry.expires = argv[++i];
        } else if (arg == "--valid-days" && hasValue) {
            expiry.validDays = argv[++i];
        } else if (arg == "--") {
            for (++i; i < argc; ++i) files.emplace_back(argv[i]);
        } else if (arg.rfind("--", 0) == 0) {
            return BadUsage("bad argument \"" + std::string(arg) + "\"");
        } else {
            files.emplace_back(arg);
        }
    }
    if (keyFile.empty() || !package || !spec || !version)
        return BadUsage("sign needs --key, --package, --spec and --version");
    if (files.empty()) return BadUsage("sign names no file to sign");
    std::string error;
    if (!expiry.Resolve(fields.expires, error)) return BadUsage(error);
    fields.package = *package;
    fields.spec = *spec;
    fields.version = *version;

    const auto signer = mkcatalog::StatementSigner::Load(keyFile, error);
    if (!signer) {
        std::cerr << "mkcatalog: " << error << "\n";
        return 1;
    }
    // Every file is there before any statement is written.
    for (const fs::path& file : files) {
        std::error_code ec;
        if (!fs::is_regular_file(file, ec)) {
            std::cerr << "mkcatalog: " << file.string() << " is no file; nothing signed\n";
            return 1;
        }
    }
    for (const fs::path& file : files) {
        if (!signer->WriteStatement(file, fields, error)) {
            std::cerr << "mkcatalog: " << error << "\n";
            return 1;
        }
        std::cout << file.string() << mkcatalog::kStatementSuffix << "\n";
    }
    std::cout << "signed " << files.size() << " files with key " << signer->KeyId() << ", valid until "
              << fields.expires << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "sign") return Sign(argc, argv);
    mkcatalog::BuildOptions options;
    std::string keyFile;
    Expiry expiry;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::cout << Usage();
            return 0;
        } else if (arg == "--placeholders") {
            options.placeholders = true;
        } else if (arg == "--unsigned") {
            options.unsignedCatalog = true;
        } else if (arg == "--source" && hasValue) {
            options.source = argv[++i];
        } else if (arg == "--out" && hasValue) {
            options.out = argv[++i];
        } else if (arg == "--packages" && hasValue) {
            options.packageFolders.emplace_back(argv[++i]);
        } else if (arg == "--key" && hasValue) {
            keyFile = argv[++i];
        } else if (arg == "--expires" && hasValue) {
            expiry.expires = argv[++i];
        } else if (arg == "--valid-days" && hasValue) {
            expiry.validDays = argv[++i];
        } else {
            return BadUsage("bad argument \"" + std::string(arg) + "\"");
        }
    }
    if (options.source.empty() || options.out.empty()) return BadUsage("--source and --out are required");
    if (keyFile.empty() == !options.unsignedCatalog)
        return BadUsage("give --key FILE to sign the catalog, or --unsigned for none");
    std::string error;
    if (options.unsignedCatalog && expiry.Given()) return BadUsage("--expires and --valid-days need --key");
    if (!options.unsignedCatalog) {
        if (!expiry.Resolve(options.expires, error)) return BadUsage(error);
        options.signer = mkcatalog::StatementSigner::Load(keyFile, error);
        if (!options.signer) {
            std::cerr << "mkcatalog: " << error << "; the catalog is left as it was\n";
            return 1;
        }
        WarnIfPast(options.expires);
    }
    mkcatalog::CatalogBuilder builder(options);
    if (!builder.Build(error)) {
        std::cerr << "mkcatalog: " << error << "\n";
        return 1;
    }
    for (const std::string& line : builder.Made()) std::cout << line << "\n";
    std::cout << "catalog written to " << options.out.string() << "\n";
    return 0;
}
