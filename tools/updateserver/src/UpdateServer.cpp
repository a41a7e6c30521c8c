#include "UpdateServer.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ExchangeResponder.h"
#include "FileDescriptor.h"

namespace updateserver {
namespace {

constexpr std::size_t kChunkSize = 64 * 1024;
constexpr std::size_t kMaxRequestBody = 1024 * 1024;
constexpr int kListenQueue = 512;
constexpr auto kHangPoll = std::chrono::milliseconds(50);

// What the handler of the current request tells the request log; the log line is written on the same
// worker thread once the response has gone out (or failed).
thread_local std::string tl_note;

void Note(const std::string& text) {
    if (!tl_note.empty()) tl_note += "; ";
    tl_note += text;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// The exchange or file area a path belongs to. Windows servers match paths without regard to case, and
// the addresses are configured by hand, so this server does too.
std::string RouteOf(const std::string& path) {
    std::string exact = Lower(path);
    if (exact.size() > 1 && exact.back() == '/') exact.pop_back();
    if (exact == kVersionCheckPath) return "versioncheck";
    if (exact == kNoticePath) return "notice";
    if (exact == kFileUpdatePath) return "fileupdate";
    if (StartsWithIgnoringCase(path, kFilesPath)) return "files";
    if (StartsWithIgnoringCase(path, kControlPath)) return "control";
    return "unknown";
}

bool IsLoopback(const std::string& address) {
    return address.rfind("127.", 0) == 0 || address == "::1" || address.rfind("::ffff:127.", 0) == 0;
}

bool IsPlainHost(const std::string& host) {
    return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':' || c == '[' ||
               c == ']';
    });
}

std::string ContentTypeOf(const std::string& path) {
    const std::string lower = Lower(path);
    const auto endsWith = [&lower](const char* ending) {
        const std::size_t n = std::strlen(ending);
        return lower.size() >= n && lower.compare(lower.size() - n, n, ending) == 0;
    };
    if (endsWith(".zip")) return "application/zip";
    if (endsWith(".xml")) return "text/xml";
    return "application/octet-stream";
}

// A file's version for If-Range: its size and modification time, as servers commonly make it.
std::string EntityTag(const struct stat& info) {
    char text[64];
    std::snprintf(text, sizeof(text), "\"%llx-%llx\"", static_cast<unsigned long long>(info.st_size),
                  static_cast<unsigned long long>(info.st_mtim.tv_sec) * 1000000000ull +
                      static_cast<unsigned long long>(info.st_mtim.tv_nsec));
    return text;
}

// The part of a file a GET asks for with "Range: bytes=first-[last]" (one range only; a list of
// ranges, a suffix range or any other unit is answered whole, as a server may). An If-Range naming
// another version of the file asks for the whole of the new one.
struct FileRange {
    enum class Kind { Whole, Partial, Unsatisfiable } kind = Kind::Whole;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};

FileRange RequestedRange(const HttpRequest& req, const std::string& tag, std::uint64_t size) {
    FileRange range;
    if (req.method != "GET" || !req.has_header("Range")) return range;
    if (req.has_header("If-Range") && req.get_header_value("If-Range") != tag) return range;
    const std::string value = req.get_header_value("Range");
    constexpr std::string_view kUnit = "bytes=";
    if (value.compare(0, kUnit.size(), kUnit) != 0 || value.find(',') != std::string::npos) return range;
    const std::string bounds = value.substr(kUnit.size());
    const std::size_t dash = bounds.find('-');
    if (dash == std::string::npos || dash == 0) return range;
    long long first = 0;
    long long last = 0;
    if (!ParseNumber(bounds.substr(0, dash), 0, 1LL << 62, first)) return range;
    const std::string end = bounds.substr(dash + 1);
    if (end.empty()) {
        last = static_cast<long long>(size) - 1;
    } else if (!ParseNumber(end, first, 1LL << 62, last)) {
        return range;
    }
    if (static_cast<std::uint64_t>(first) >= size) {
        range.kind = FileRange::Kind::Unsatisfiable;
        return range;
    }
    range.kind = FileRange::Kind::Partial;
    range.first = static_cast<std::uint64_t>(first);
    range.last = std::min<std::uint64_t>(static_cast<std::uint64_t>(last), size - 1);
    return range;
}

}  // namespace

struct UpdateServer::Body {
    int status = 200;
    std::string contentType = "text/plain";
    std::string text;                      // the body, unless a file is streamed
    std::shared_ptr<FileDescriptor> file;  // streamed from disk, never read whole
    std::uint64_t start = 0;               // where in the file the body begins (a range)
    std::uint64_t size = 0;                // the body's length

    static Body Text(int status, std::string text, std::string contentType = "text/plain") {
        Body body;
        body.status = status;
        body.contentType = std::move(contentType);
        body.text = std::move(text);
        body.size = body.text.size();
        return body;
    }

    // Up to n bytes from the offset; -1 on a read error.
    long long Read(std::uint64_t offset, char* buffer, std::size_t n) const {
        if (offset >= size) return 0;
        n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size - offset));
        if (!file) {
            std::memcpy(buffer, text.data() + offset, n);
            return static_cast<long long>(n);
        }
        return ::pread(file->Get(), buffer, n, static_cast<off_t>(start + offset));
    }
};

UpdateServer::UpdateServer(ServerOptions options, RequestLog& log)
    : options_(std::move(options)),
      log_(log),
      http_(
          HttpServer::Settings{
              .workers = options_.threads, .maxBody = kMaxRequestBody, .listenQueue = kListenQueue},
          [this](const HttpRequest& req, HttpResponse& res) { Handle(req, res); },
          [this](const HttpRequest& req, const HttpResponse& res) { LogRequest(req, res); },
          [this](const HttpRequest& req, HttpResponse& res) { return AnswerFromMemory(req, res); }) {}

UpdateServer::~UpdateServer() { Stop(); }

bool UpdateServer::Start(std::string& error) {
    std::string catalogError;
    auto catalog = Catalog::Load(options_.catalog, catalogError);
    if (!catalog) {
        error = catalogError;
        return false;
    }
    catalog_ = std::make_shared<const Catalog>(std::move(*catalog));
    faults_.Set(options_.faults);

    std::string why;
    port_ = http_.Listen(options_.bind, options_.port, why);
    if (port_ <= 0) {
        error = "cannot listen on " + options_.bind +
                (options_.port == 0 ? " (any port)" : ":" + std::to_string(options_.port)) + ": " + why;
        return false;
    }
    return true;
}

void UpdateServer::Run() { http_.Run(); }

void UpdateServer::Stop() {
    faults_.Stop();
    http_.Stop();
}

void UpdateServer::LogRequest(const HttpRequest& req, const HttpResponse& res) {
    std::string note = tl_note;
    if (!res.refusal.empty()) note += std::string(note.empty() ? "" : "; ") + res.refusal;
    // Credentials meant for a proxy must never reach the server: any that do are logged (by name,
    // never the value), so that tests and administrators see them.
    for (const char* name : {"Authorization", "Proxy-Authorization"})
        if (req.has_header(name))
            note += std::string(note.empty() ? "" : " ") + "[" + name + " header received]";
    log_.Write(req.remote_addr + ":" + std::to_string(req.remote_port), req.method, req.path, res.status,
               note);
    tl_note.clear();
}

bool UpdateServer::Reload(std::string& error) {
    auto catalog = Catalog::Load(options_.catalog, error);
    if (!catalog) return false;
    std::lock_guard lock(mutex_);
    catalog_ = std::make_shared<const Catalog>(std::move(*catalog));
    return true;
}

std::shared_ptr<const Catalog> UpdateServer::CurrentCatalog() const {
    std::lock_guard lock(mutex_);
    return catalog_;
}

void UpdateServer::Count(const std::string& route) {
    std::lock_guard lock(mutex_);
    ++counts_[route];
}

std::string UpdateServer::Counts() const {
    std::lock_guard lock(mutex_);
    std::string text;
    for (const char* route : {"versioncheck", "notice", "fileupdate", "files", "unknown"}) {
        const auto it = counts_.find(route);
        text += std::string(route) + " " + std::to_string(it == counts_.end() ? 0 : it->second) + "\n";
    }
    text += "kept " + std::to_string(answers_.Hits()) + "\n";
    return text;
}

std::string UpdateServer::FilesUrl(const HttpRequest& req) const {
    if (!options_.baseUrl.empty()) return options_.baseUrl + kFilesPath;
    std::string host = req.get_header_value("Host");
    if (!IsPlainHost(host)) host = options_.bind + ":" + std::to_string(port_);
    return "http://" + host + kFilesPath;
}

void UpdateServer::Handle(const HttpRequest& req, HttpResponse& res) {
    tl_note.clear();
    const std::string route = RouteOf(req.path);
    if (route == "control") {
        HandleControl(req, res);
        return;
    }
    Count(route);
    const std::optional<Faults> faults = faults_.Take(req.path);
    if (faults && faults->delayMs > 0) {
        if (!faults_.Wait(std::chrono::milliseconds(faults->delayMs))) {
            Note("server stopping");
            res.status = 503;
            return;
        }
        Note("delayed " + std::to_string(faults->delayMs) + " ms");
    }

    const bool isExchange = route == "versioncheck" || route == "notice" || route == "fileupdate";
    Body body;
    if (faults && faults->drop) {
        Note("fault drop: closed without an answer");
        res.drop = true;
        return;
    }
    if (faults && !faults->portal.empty()) {
        body = SignInPage(res, faults->portal);
    } else if (faults && faults->status != 0) {
        body = Body::Text(faults->status, "fault switch: status " + std::to_string(faults->status) + "\n");
        Note("fault status " + std::to_string(faults->status));
        if (faults->status == 407) res.set_header("Proxy-Authenticate", "Basic realm=\"updateserver\"");
        if (faults->status == 401) res.set_header("WWW-Authenticate", "Basic realm=\"updateserver\"");
        if (faults->retryAfter >= 0) res.set_header("Retry-After", std::to_string(faults->retryAfter));
    } else if (isExchange && req.method == "POST") {
        body = Exchange(route, req);
    } else if (route == "files" && (req.method == "GET" || req.method == "HEAD")) {
        body = File(req, res);
    } else if (isExchange || route == "files") {
        body = Body::Text(405, "use " + std::string(isExchange ? "POST" : "GET") + " here\n");
        res.set_header("Allow", isExchange ? "POST" : "GET, HEAD");
        Note("wrong method");
    } else {
        body = Body::Text(404, "no such address on this update server\n");
        Note("no such address");
    }
    Send(res, std::move(body), faults);
}

// An exchange asked before, while no fault switch is set, is answered with the answer kept for it,
// without a worker: no parse, no catalog walk, no wait.
bool UpdateServer::AnswerFromMemory(const HttpRequest& req, HttpResponse& res) {
    if (req.method != "POST") return false;
    const std::string route = RouteOf(req.path);
    if (route != "versioncheck" && route != "notice" && route != "fileupdate") return false;
    if (faults_.Current().Any()) return false;
    std::optional<Answer> kept =
        answers_.Find(CurrentCatalog(), AnswerCache::KeyOf(route, FilesUrl(req), req.body));
    if (!kept) return false;
    tl_note.clear();
    Count(route);
    Note(kept->note);
    Send(res, Body::Text(kept->status, std::move(kept->body), kept->contentType), std::nullopt);
    return true;
}

UpdateServer::Body UpdateServer::Exchange(const std::string& route, const HttpRequest& req) {
    const std::shared_ptr<const Catalog> catalog = CurrentCatalog();
    const std::string filesUrl = FilesUrl(req);
    std::string key = AnswerCache::KeyOf(route, filesUrl, req.body);
    if (std::optional<Answer> kept = answers_.Find(catalog, key)) {
        Note(kept->note);
        return Body::Text(kept->status, std::move(kept->body), kept->contentType);
    }
    const ExchangeResponder responder(*catalog, checksums_, filesUrl);
    Answer answer;
    if (ExchangeResponder::IsProbe(req.body)) {
        answer = responder.Probe();
    } else if (route == "versioncheck") {
        answer = responder.VersionCheck(req.body);
    } else if (route == "notice") {
        answer = responder.Notice(req.body);
    } else {
        answer = responder.FileUpdate(req.body);
    }
    answers_.Keep(catalog, std::move(key), answer);
    Note(answer.note);
    return Body::Text(answer.status, std::move(answer.body), answer.contentType);
}

// What a captive portal of a hotel or guest network answers in place of the server: its own sign-in
// page, or a redirect to it on a host of its own.
UpdateServer::Body UpdateServer::SignInPage(HttpResponse& res, const std::string& kind) {
    if (kind == "redirect") {
        res.set_header("Location", "http://portal.invalid/login?from=updateserver");
        Note("fault portal: redirect to the sign-in page");
        return Body::Text(302, "<html><body>Moved</body></html>\n", "text/html");
    }
    Note("fault portal: sign-in page");
    return Body::Text(200,
                      "<!DOCTYPE html>\n<html><head><title>Sign in</title></head>"
                      "<body><form action=\"/login\">Sign in to use this network.</form></body></html>\n",
                      "text/html");
}

UpdateServer::Body UpdateServer::File(const HttpRequest& req, HttpResponse& res) {
    const std::string relative = req.path.substr(std::strlen(kFilesPath));
    if (!IsSafeRelativePath(relative)) {
        Note("refused path outside the catalog folder");
        return Body::Text(404, "no such file\n");
    }
    const std::shared_ptr<const Catalog> catalog = CurrentCatalog();
    const std::string full = (catalog->Folder() / relative).string();
    auto file = std::make_shared<FileDescriptor>(::open(full.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!file->IsOpen() || ::fstat(file->Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        Note("no such file");
        return Body::Text(404, "no such file\n");
    }
    Body body;
    body.contentType = ContentTypeOf(relative);
    body.file = std::move(file);
    body.size = static_cast<std::uint64_t>(info.st_size);
    const std::string tag = EntityTag(info);
    res.set_header("Accept-Ranges", "bytes");
    res.set_header("ETag", tag);
    const FileRange range = RequestedRange(req, tag, body.size);
    if (range.kind == FileRange::Kind::Unsatisfiable) {
        res.set_header("Content-Range", "bytes */" + std::to_string(body.size));
        Note("range not satisfiable for " + std::to_string(body.size) + " bytes");
        return Body::Text(416, "the range lies outside the file\n");
    }
    if (range.kind == FileRange::Kind::Partial) {
        res.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                            std::to_string(range.last) + "/" + std::to_string(body.size));
        body.status = 206;
        body.start = range.first;
        body.size = range.last - range.first + 1;
        Note("bytes " + std::to_string(range.first) + "-" + std::to_string(range.last) + " of " +
             std::to_string(info.st_size));
        return body;
    }
    Note(std::to_string(body.size) + " bytes");
    return body;
}

void UpdateServer::Send(HttpResponse& res, Body body, const std::optional<Faults>& faults) {
    res.status = body.status;
    const bool cuts = faults && faults->cutBody && *faults->cutBody < body.size;
    if (body.size == 0) {
        // An empty body goes as text, with its Content-Length of 0, never through a provider.
        res.set_content(std::string(), body.contentType.c_str());
    } else if (faults && (faults->hang || cuts)) {
        SendFaulty(res, std::move(body), *faults);
    } else if (!body.file) {
        res.set_content(body.text, body.contentType.c_str());
    } else {
        auto shared = std::make_shared<Body>(std::move(body));
        auto buffer = std::make_shared<std::vector<char>>(kChunkSize);
        res.set_content_provider(shared->size, shared->contentType,
                                 [shared, buffer](std::size_t offset, std::size_t length, DataSink& sink) {
                                     const long long got = shared->Read(offset, buffer->data(),
                                                                        std::min(length, buffer->size()));
                                     if (got <= 0) {
                                         Note("read error at byte " + std::to_string(offset));
                                         return false;
                                     }
                                     return sink.write(buffer->data(), static_cast<std::size_t>(got));
                                 });
    }
}

void UpdateServer::SendFaulty(HttpResponse& res, Body body, const Faults& faults) {
    const std::uint64_t limit = std::min<std::uint64_t>(faults.cutBody.value_or(0), body.size);
    auto shared = std::make_shared<Body>(std::move(body));
    auto buffer = std::make_shared<std::vector<char>>(kChunkSize);
    const bool hang = faults.hang;
    FaultSwitches* switches = &faults_;
    res.set_content_provider(
        shared->size, shared->contentType,
        [shared, buffer, limit, hang, switches](std::size_t offset, std::size_t length, DataSink& sink) {
            if (offset < limit) {
                const std::size_t want = static_cast<std::size_t>(
                    std::min<std::uint64_t>({length, buffer->size(), limit - offset}));
                const long long got = shared->Read(offset, buffer->data(), want);
                return got > 0 && sink.write(buffer->data(), static_cast<std::size_t>(got));
            }
            if (!hang) {
                Note("fault cut body after " + std::to_string(limit) + " of " + std::to_string(shared->size) +
                     " bytes");
                return false;
            }
            const auto start = std::chrono::steady_clock::now();
            while (!sink.PeerClosed()) {
                if (!switches->Wait(kHangPoll)) {
                    Note("fault hang after " + std::to_string(limit) + " bytes, ended by server stop");
                    return false;
                }
            }
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            Note("fault hang after " + std::to_string(limit) + " bytes, client gave up after " +
                 std::to_string(waited.count()) + " ms");
            return false;
        });
}

void UpdateServer::HandleControl(const HttpRequest& req, HttpResponse& res) {
    Note("control " + req.method + " " + req.target);
    if (!options_.control) {
        res.status = 404;
        res.set_content("the control endpoint is switched off\n", "text/plain");
        return;
    }
    if (!IsLoopback(req.remote_addr)) {
        res.status = 403;
        res.set_content("the control endpoint answers loopback clients only\n", "text/plain");
        return;
    }
    const std::string what = Lower(req.path.substr(std::strlen(kControlPath)));
    std::string error;
    if (what == "fault" && req.method == "POST") {
        HandleFault(req, res);
    } else if (what == "fault" && req.method == "GET") {
        res.set_content(faults_.Current().Describe() + "\n", "text/plain");
    } else if (what == "reload" && req.method == "POST") {
        if (Reload(error)) {
            res.set_content("catalog reloaded\n", "text/plain");
            Note("catalog reloaded");
        } else {
            res.status = 500;
            res.set_content(error + "\n", "text/plain");
            Note("reload failed: " + error);
        }
    } else if (what == "stats" && req.method == "GET") {
        res.set_content(Counts(), "text/plain");
    } else {
        res.status = 404;
        res.set_content("control: POST fault, GET fault, POST reload, GET stats\n", "text/plain");
    }
}

void UpdateServer::HandleFault(const HttpRequest& req, HttpResponse& res) {
    const auto fail = [&res](const std::string& why) {
        res.status = 400;
        res.set_content(why + "\n", "text/plain");
        Note(why);
    };
    const auto number = [&req](const char* name, long long minimum, long long maximum, long long& value) {
        return req.has_param(name) && ParseNumber(req.get_param_value(name), minimum, maximum, value);
    };
    const std::string kind = req.get_param_value("kind");
    Faults faults = kind == "none" ? Faults{} : faults_.Current();
    long long n = 0;
    if (kind == "none") {
    } else if (kind == "delay") {
        if (!number("ms", 0, 3600000, n)) return fail("kind=delay needs ms=0..3600000");
        faults.delayMs = static_cast<int>(n);
    } else if (kind == "status") {
        if (!number("code", 0, 599, n) || (n != 0 && n < 100))
            return fail("kind=status needs code=100..599 (0: off)");
        faults.status = static_cast<int>(n);
    } else if (kind == "cut-body") {
        if (!number("bytes", -1, 1LL << 50, n)) return fail("kind=cut-body needs bytes=0.. (-1: off)");
        faults.cutBody = n < 0 ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(n));
    } else if (kind == "hang") {
        faults.hang = !(req.has_param("on") && req.get_param_value("on") == "0");
    } else if (kind == "drop") {
        faults.drop = !(req.has_param("on") && req.get_param_value("on") == "0");
    } else if (kind == "portal") {
        const std::string as = req.has_param("as") ? req.get_param_value("as") : "page";
        if (as != "page" && as != "redirect" && as != "off")
            return fail("kind=portal needs as=page, redirect or off");
        faults.portal = as == "off" ? "" : as;
    } else {
        return fail("kind must be one of none, delay, status, cut-body, hang, drop, portal");
    }
    if (req.has_param("retry-after")) {
        if (!number("retry-after", -1, 86400, n))
            return fail("retry-after needs seconds=0..86400 (-1: none)");
        faults.retryAfter = static_cast<int>(n);
    }
    if (req.has_param("every")) {
        if (!number("every", 1, 1000000, n)) return fail("every needs a number from 1");
        faults.every = static_cast<int>(n);
    }
    if (req.has_param("path")) faults.pathPrefix = req.get_param_value("path");
    if (req.has_param("times")) {
        if (!number("times", 1, 1000000000, n)) return fail("times needs a number from 1");
        faults.times = static_cast<int>(n);
    }
    faults_.Set(faults);
    Note("faults now: " + faults.Describe());
    res.set_content(faults.Describe() + "\n", "text/plain");
}

}  // namespace updateserver
