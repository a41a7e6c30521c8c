#pragma once
// HTTP spoken over a plain socket, for requests that a client library would tidy up and for reading
// exactly what the server sends.

#include <chrono>
#include <string>

struct RawResponse {
    bool connected = false;
    bool timedOut = false;         // the server sent nothing more within the time-out
    std::string headers;           // status line and headers, without the blank line
    std::string body;              // everything after the blank line, as far as it arrived
    long long contentLength = -1;  // as announced
};

// Sends the request text and reads until the server closes the connection or stays silent for the
// time-out.
RawResponse RawExchange(const std::string& host, int port, const std::string& request,
                        std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
