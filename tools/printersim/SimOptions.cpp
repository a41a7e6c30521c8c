#include "SimOptions.h"

#include <cstdint>
#include <numeric>
#include <sstream>

#include "Numbers.h"
#include "StatusReply.h"

namespace printersim {

const char* const kSimUsage =
    "usage: printersim (--prefix DIR --com N | --link PATH) [options]\n"
    "  --prefix DIR --com N   link DIR/dosdevices/comN (a Wine prefix's COM port) to the line\n"
    "  --link PATH            link PATH to the line\n"
    "  --model ID             printer model identifier (default 0x2107)\n"
    "  --record-size 64|128   size of the stored-file records (default 128)\n"
    "  --cancel-limit BYTES   cancel limit of the identification reply (default 2097152)\n"
    "  --credit BYTES[-MAX]   data bytes taken per status reply (default 4096); with MAX, each\n"
    "                         status grants a credit drawn from BYTES to MAX\n"
    "  --refuse               refuse status requests and downloads (byte 18 = 0, byte 8 = 2)\n"
    "  --refuse-after BYTES   refuse a download at the first status once BYTES of it arrived (once)\n"
    "  --keep-old-version     take every download and acknowledge it, but keep the files as they were\n"
    "  --mute [N]             stop answering (after N commands)\n"
    "  --split A,B,...        send each status reply in pieces of these sizes (sum 32)\n"
    "  --split-delay MS       pause between the pieces (default 40)\n"
    "  --drop-after BYTES     hang up once this many data bytes of a download arrived\n"
    "  --finish-delay MS      time taken to store a file before the last status (default 0)\n"
    "  --mode-delay MS        time taken to answer the mode check (default 0)\n"
    "  --vary-delays          every other reply waits a random time within half its time-out\n"
    "  --seed N               seed of the varying credits and delays (default 1)\n"
    "  --baud RATE            pace the line to RATE/10 bytes per second each way\n"
    "  --state FILE           keep the stored files in FILE across runs\n"
    "  --log FILE             write one line per command received to FILE\n";

namespace {

class ArgReader {
  public:
    explicit ArgReader(const std::vector<std::string>& args) : args_(args) {}
    bool More() const { return next_ < args_.size(); }
    const std::string& Take() { return args_[next_++]; }
    bool NextIsNumber() const { return More() && ParseNumber(args_[next_], UINT32_MAX).has_value(); }
    std::optional<std::string> Value(const std::string& option, std::string& error) {
        if (!More()) {
            error = option + " needs a value";
            return std::nullopt;
        }
        return Take();
    }
    std::optional<std::uint64_t> Number(const std::string& option, std::uint64_t min, std::uint64_t max,
                                        std::string& error) {
        auto text = Value(option, error);
        if (!text) return std::nullopt;
        auto n = ParseNumber(*text, max);
        if (!n || *n < min) {
            error = option + " needs a number from " + std::to_string(min) + " to " + std::to_string(max) +
                    ", not '" + *text + "'";
            return std::nullopt;
        }
        return n;
    }

  private:
    const std::vector<std::string>& args_;
    std::size_t next_ = 0;
};

std::optional<std::vector<std::size_t>> ParseSplit(const std::string& text, std::string& error) {
    std::vector<std::size_t> pieces;
    std::istringstream in(text);
    std::string part;
    while (std::getline(in, part, ',')) {
        auto n = ParseNumber(part, StatusReply::kSize);
        if (!n || *n == 0) {
            error = "--split needs sizes of 1 to 32, not '" + part + "'";
            return std::nullopt;
        }
        pieces.push_back(*n);
    }
    if (std::accumulate(pieces.begin(), pieces.end(), std::size_t{0}) != StatusReply::kSize) {
        error = "--split sizes must add up to 32";
        return std::nullopt;
    }
    return pieces;
}

// "N" or "N-MAX": a fixed credit, or the range from which each credit is drawn.
bool ParseCredit(const std::string& text, PrinterProfile& profile, std::string& error) {
    const std::size_t dash = text.find('-');
    auto low = ParseNumber(std::string_view(text).substr(0, dash), UINT32_MAX);
    auto high =
        dash == std::string::npos ? low : ParseNumber(std::string_view(text).substr(dash + 1), UINT32_MAX);
    if (!low || !high || *low == 0 || *high < *low) {
        error = "--credit needs a number from 1 to " + std::to_string(UINT32_MAX) +
                " or a range LOW-HIGH of them, not '" + text + "'";
        return false;
    }
    profile.credit = static_cast<std::uint32_t>(*high);
    profile.creditMin.reset();
    if (*low != *high) profile.creditMin = static_cast<std::uint32_t>(*low);
    return true;
}

}  // namespace

ParsedOptions ParseSimOptions(const std::vector<std::string>& args) {
    ParsedOptions result;
    SimOptions o;
    std::filesystem::path prefix;
    std::optional<std::uint64_t> com;
    ArgReader in(args);
    std::string& error = result.error;
    auto fail = [&](std::string why) {
        if (!why.empty()) error = std::move(why);
        return result;
    };
    while (in.More()) {
        std::string option = in.Take();
        if (option == "--help" || option == "-h") {
            result.help = true;
            return result;
        } else if (option == "--prefix") {
            auto v = in.Value(option, error);
            if (!v) return fail({});
            prefix = *v;
        } else if (option == "--com") {
            if (!(com = in.Number(option, 1, 256, error))) return fail({});
        } else if (option == "--link") {
            auto v = in.Value(option, error);
            if (!v) return fail({});
            o.link = *v;
        } else if (option == "--model") {
            auto n = in.Number(option, 0, 0xFFFF, error);
            if (!n) return fail({});
            o.profile.model = static_cast<std::uint16_t>(*n);
        } else if (option == "--record-size") {
            auto n = in.Number(option, 64, 128, error);
            if (!n || (*n != 64 && *n != 128)) return fail("--record-size is 64 or 128");
            o.profile.recordSize = *n;
        } else if (option == "--cancel-limit") {
            auto n = in.Number(option, 0, UINT32_MAX, error);
            if (!n) return fail({});
            o.profile.cancelLimit = static_cast<std::uint32_t>(*n);
        } else if (option == "--credit") {
            auto v = in.Value(option, error);
            if (!v || !ParseCredit(*v, o.profile, error)) return fail({});
        } else if (option == "--refuse") {
            o.profile.refuse = true;
        } else if (option == "--refuse-after") {
            auto n = in.Number(option, 1, UINT32_MAX, error);
            if (!n) return fail({});
            o.profile.refuseAfter = *n;
        } else if (option == "--keep-old-version") {
            o.profile.keepOldVersion = true;
        } else if (option == "--mute") {
            o.profile.muteAfter = 0;
            if (in.NextIsNumber())
                o.profile.muteAfter = static_cast<std::uint32_t>(*ParseNumber(in.Take(), UINT32_MAX));
        } else if (option == "--split") {
            auto v = in.Value(option, error);
            if (!v) return fail({});
            auto pieces = ParseSplit(*v, error);
            if (!pieces) return fail({});
            o.split = *pieces;
        } else if (option == "--split-delay") {
            auto n = in.Number(option, 0, 10000, error);
            if (!n) return fail({});
            o.splitDelay = std::chrono::milliseconds(*n);
        } else if (option == "--drop-after") {
            auto n = in.Number(option, 1, UINT32_MAX, error);
            if (!n) return fail({});
            o.profile.dropAfter = *n;
        } else if (option == "--finish-delay") {
            auto n = in.Number(option, 0, 600000, error);
            if (!n) return fail({});
            o.profile.finishDelay = std::chrono::milliseconds(*n);
        } else if (option == "--mode-delay") {
            auto n = in.Number(option, 0, 600000, error);
            if (!n) return fail({});
            o.profile.modeDelay = std::chrono::milliseconds(*n);
        } else if (option == "--vary-delays") {
            o.profile.varyDelays = true;
        } else if (option == "--seed") {
            auto n = in.Number(option, 0, UINT32_MAX, error);
            if (!n) return fail({});
            o.profile.seed = static_cast<std::uint32_t>(*n);
        } else if (option == "--baud") {
            auto n = in.Number(option, 300, 20000000, error);
            if (!n) return fail({});
            o.baud = static_cast<unsigned>(*n);
        } else if (option == "--state") {
            auto v = in.Value(option, error);
            if (!v) return fail({});
            o.statePath = *v;
        } else if (option == "--log") {
            auto v = in.Value(option, error);
            if (!v) return fail({});
            o.logPath = *v;
        } else {
            return fail("unknown option '" + option + "'");
        }
    }
    if (!o.link.empty() && (com || !prefix.empty())) return fail("give either --link or --prefix with --com");
    if (o.link.empty()) {
        if (!com || prefix.empty()) return fail("give --prefix DIR --com N, or --link PATH");
        o.link = prefix / "dosdevices" / ("com" + std::to_string(*com));
    }
    result.options = std::move(o);
    return result;
}

}  // namespace printersim
