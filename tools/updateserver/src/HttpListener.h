#pragma once
// The HTTP library's server with two settings it does not offer: a listening queue long enough for
// many clients connecting at once (the library's own is 5, so a burst of clients sees refused or
// stalled connections), and an exclusive port (the library's default lets a second server bind the
// same port and silently share the clients).

#include <httplib.h>
#include <sys/socket.h>

namespace updateserver {

class HttpListener : public httplib::Server {
  public:
    HttpListener() {
        set_socket_options([](socket_t sock) {
            int yes = 1;
            setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        });
    }

    // Call after binding; listen() on a listening socket only changes its queue length.
    bool WidenListenQueue(int length) { return ::listen(svr_sock_, length) == 0; }
};

}  // namespace updateserver
