#pragma once
// The updateserver program started as a process of its own, as scripts start it.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

class ServerProcess {
  public:
    explicit ServerProcess(const std::vector<std::string>& arguments);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Reads standard output until the "listening on ADDR:PORT" line; the port, or -1 when the program
    // ended or said nothing in time.
    int WaitUntilListening(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
    // Sends the signal and waits for the end; the exit status, or -1 when it did not end in time or
    // ended by a signal.
    int Signal(int signal, std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
    // Waits for the program to end by itself; as Signal.
    int Wait(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
    pid_t Pid() const { return pid_; }
    const std::string& Output() const { return output_; }
    // Standard error, complete once the program has ended.
    std::string Errors();
    // Peak resident memory of the running program in KiB (VmHWM).
    long PeakMemoryKb() const;

  private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    int stderr_ = -1;
    bool ended_ = false;
    std::string output_;
};
