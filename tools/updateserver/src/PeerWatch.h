#pragma once
// Tells whether the client of a request has closed its connection. The HTTP library gives a request
// handler the connection's addresses but not its socket, so the socket is found among the process's
// open descriptors by those addresses (Linux).

#include <string>

namespace updateserver {

class PeerWatch {
  public:
    PeerWatch(std::string localAddr, int localPort, std::string remoteAddr, int remotePort);

    // True once the peer has closed or reset the connection. False while it is open, and also when the
    // socket cannot be found, so that a caller never gives up on a live client by mistake.
    bool PeerClosed();

  private:
    int FindSocket() const;

    std::string localAddr_;
    int localPort_;
    std::string remoteAddr_;
    int remotePort_;
    int fd_ = -1;  // not owned: the HTTP library closes it after the response
};

}  // namespace updateserver
