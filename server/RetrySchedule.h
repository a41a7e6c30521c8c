#pragma once
// When a request that the network or a busy server failed goes out again. A connection lost before
// any answer (a kept-alive one the other end closed meanwhile, a proxy that closes after its
// refusal) is sent again at once, a couple of times; after that, and after an answer that says the
// server is busy (429, 5xx), each new try waits: a few seconds, doubling up to a cap, each pause
// varied a little at random so that many PCs turned away together do not all come back together.
// The tries are limited; a Retry-After of the server is honoured up to the cap.

#include <windows.h>

#include <optional>
#include <random>

class CRetrySchedule {
  public:
    struct Rule {
        int immediateTries = 2;
        DWORD firstPauseMs = 2000;
        DWORD capMs = 16000;
        int pauses = 4;
        // Each pause lies within this share of its length either way.
        double jitter = 0.2;
    };

    // The program's rule; a test may make it quick.
    static Rule ProgramRule();
    static void SetProgramRule(const Rule& rule);

    explicit CRetrySchedule(Rule rule = ProgramRule(), unsigned seed = std::random_device{}());

    // The wait before the next try after a lost connection (0: at once), or nothing when the tries
    // are spent.
    std::optional<DWORD> AfterLostConnection();
    // The wait before the next try after a busy server's answer; serverAskedMs is its Retry-After.
    std::optional<DWORD> AfterBusyAnswer(std::optional<DWORD> serverAskedMs);
    // A try that made headway (a download's bytes arrived) starts the count anew.
    void StartAnew();
    int PausesTaken() const { return m_pausesTaken; }

  private:
    std::optional<DWORD> NextPause(std::optional<DWORD> serverAskedMs);

    Rule m_rule;
    std::mt19937 m_random;
    int m_immediateTaken = 0;
    int m_pausesTaken = 0;
};
