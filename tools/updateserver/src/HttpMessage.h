#pragma once
// A request as the server's handler sees it, and the response the handler fills in: a text body, or a
// body that a provider writes piece by piece (files streamed from disk, answers cut or held on purpose).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace updateserver {

struct IgnoringCase {
    bool operator()(const std::string& a, const std::string& b) const;
};

using HeaderMap = std::multimap<std::string, std::string, IgnoringCase>;

struct HttpRequest {
    std::string method;
    std::string target;   // as sent: path and query
    std::string path;     // without the query, percent-decoded
    std::string version;  // "HTTP/1.1" or "HTTP/1.0"
    HeaderMap headers;
    std::multimap<std::string, std::string> params;  // from the query
    std::string body;
    std::string remote_addr;
    int remote_port = 0;

    bool has_header(const std::string& name) const { return headers.count(name) > 0; }
    // The first value of the header, or "" when the request has none.
    std::string get_header_value(const std::string& name) const;
    bool has_param(const std::string& name) const { return params.count(name) > 0; }
    std::string get_param_value(const std::string& name) const;
};

// Where a provider writes its body. write fails once the client has gone, has stopped reading for the
// write time-out, or the server is stopping; the provider then gives up.
class DataSink {
  public:
    virtual ~DataSink() = default;
    virtual bool write(const char* data, std::size_t length) = 0;
    // True once the client has closed or reset its connection.
    virtual bool PeerClosed() = 0;
};

// Writes up to length bytes from offset; false ends the response early (the connection is closed, so
// the client sees the body cut short).
using ContentProvider = std::function<bool(std::size_t offset, std::size_t length, DataSink& sink)>;

struct HttpResponse {
    int status = 200;
    HeaderMap headers;
    std::string contentType;
    std::string body;
    ContentProvider provider;  // when set, the body is provider's, of providerSize bytes
    std::uint64_t providerSize = 0;
    // Set by the server when it answered without asking the handler (a malformed request, one that came
    // too slowly): why. The log shows it.
    std::string refusal;
    // Set by the handler: the connection is closed without any answer (a server or a network that
    // drops it).
    bool drop = false;

    void set_header(const std::string& name, const std::string& value) { headers.emplace(name, value); }
    void set_content(std::string text, const std::string& type) {
        body = std::move(text);
        contentType = type;
        provider = nullptr;
    }
    void set_content_provider(std::uint64_t size, const std::string& type, ContentProvider writer) {
        body.clear();
        contentType = type;
        providerSize = size;
        provider = std::move(writer);
    }
    std::uint64_t ContentLength() const { return provider ? providerSize : body.size(); }
};

// "%41b+c" → "Ab c" when plusIsSpace (a query), "Ab+c" otherwise (a path). Malformed escapes stay as
// they are.
std::string DecodeUrl(std::string_view text, bool plusIsSpace);

std::multimap<std::string, std::string> ParseQuery(std::string_view query);

const char* ReasonPhrase(int status);

}  // namespace updateserver
