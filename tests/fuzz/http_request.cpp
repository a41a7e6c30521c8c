// The update server's request parsing (HttpRequestParser) as the server drives it: the bytes of a
// connection arrive in pieces, each Parse sees all of them so far, and after a whole request the rest
// goes to a new parser for the next request on the connection.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "HttpRequestParser.h"

namespace {

constexpr std::size_t kMaxBody = 4096;
constexpr int kMaxRequests = 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The bytes arrive in pieces of 1 to 64 bytes, by the input's length, so that the seeds are the
    // requests themselves.
    const std::size_t piece = 1 + size % 64;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    using State = updateserver::HttpRequestParser::State;
    for (int request = 0; request < kMaxRequests && !rest.empty(); ++request) {
        updateserver::HttpRequestParser parser(kMaxBody);
        State state = State::NeedMore;
        std::size_t received = 0;
        while (state == State::NeedMore && received < rest.size()) {
            received = std::min(rest.size(), received + piece);
            state = parser.Parse(rest.substr(0, received));
        }
        if (state == State::NeedMore) {
            // All bytes given at once are no whole request either. (A bad header line before the end
            // of the headers may be refused at once when the bytes come together, and only once
            // the headers end when they come in pieces.)
            updateserver::HttpRequestParser whole(kMaxBody);
            FUZZ_CHECK(whole.Parse(rest) != State::Complete);
            return 0;
        }
        if (state == State::Failed) {
            const int status = parser.FailureStatus();
            FUZZ_CHECK(status >= 400 && status <= 599);
            parser.Request();
            // What is refused in pieces is refused whole as well.
            updateserver::HttpRequestParser whole(kMaxBody);
            FUZZ_CHECK(whole.Parse(rest.substr(0, received)) == State::Failed);
            return 0;
        }
        const std::size_t consumed = parser.Consumed();
        FUZZ_CHECK(consumed > 0 && consumed <= received);
        const updateserver::HttpRequest& got = parser.Request();
        FUZZ_CHECK(!got.method.empty());
        FUZZ_CHECK(got.body.size() <= kMaxBody);
        const bool keepAlive = parser.KeepAlive();
        {
            updateserver::HttpRequestParser whole(kMaxBody);
            FUZZ_CHECK(whole.Parse(rest) == State::Complete);
            FUZZ_CHECK(whole.Consumed() == consumed && whole.KeepAlive() == keepAlive);
            FUZZ_CHECK(whole.Request().method == got.method && whole.Request().target == got.target &&
                       whole.Request().body == got.body);
        }
        if (!keepAlive) return 0;
        rest.remove_prefix(consumed);
    }
    return 0;
}
