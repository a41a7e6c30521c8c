#pragma once
// Faults that tests switch on to see how the updater copes with a slow, failing or broken server.
// Settable from the command line and at run time through the control endpoint; every switch applies
// to the exchanges and to file downloads alike, optionally only below a path prefix and only for a
// number of requests.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>

namespace updateserver {

struct Faults {
    int delayMs = 0;                     // wait this long before answering
    int status = 0;                      // answer with this status instead (0: off)
    std::optional<std::size_t> cutBody;  // announce the full length, send this many bytes, close
    bool hang = false;                   // send the headers, then nothing until the client gives up
    bool drop = false;                   // close the connection without answering
    std::string portal;                  // answer as a network's sign-in page would: "page" or "redirect"
    int retryAfter = -1;                 // with a status: a Retry-After of this many seconds (-1: none)
    int every = 1;                       // only every n-th matching request (1: each)
    std::string pathPrefix;              // only requests whose path starts with it ("" = all)
    int times = -1;                      // switches clear themselves after this many requests (-1 = never)

    bool Any() const { return delayMs > 0 || status != 0 || cutBody || hang || drop || !portal.empty(); }
    std::string Describe() const;
};

class FaultSwitches {
  public:
    void Set(const Faults& faults);
    Faults Current() const;

    // The faults for one request: nothing when off or when the path does not match. Counts the
    // request against the switches' "times".
    std::optional<Faults> Take(const std::string& path);

    // Sleeps for the given time; returns early (false) when the server stops.
    bool Wait(std::chrono::milliseconds duration);
    bool Stopping() const;
    // Wakes every waiting request so that the server can shut down.
    void Stop();

  private:
    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    Faults faults_;
    long long matched_ = 0;  // requests that matched since the switches were set
    bool stopping_ = false;
};

}  // namespace updateserver
