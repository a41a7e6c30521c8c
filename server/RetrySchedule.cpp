#include "RetrySchedule.h"

#include <algorithm>

#include "common/Guarded.h"

namespace {

scup::Guarded<CRetrySchedule::Rule>& ProgramRuleStore() {
    static scup::Guarded<CRetrySchedule::Rule> rule{CRetrySchedule::Rule{}};
    return rule;
}

}  // namespace

CRetrySchedule::Rule CRetrySchedule::ProgramRule() { return ProgramRuleStore().Get(); }

void CRetrySchedule::SetProgramRule(const Rule& rule) { ProgramRuleStore().Set(rule); }

CRetrySchedule::CRetrySchedule(Rule rule, unsigned seed) : m_rule(rule), m_random(seed) {}

std::optional<DWORD> CRetrySchedule::AfterLostConnection() {
    if (m_immediateTaken < m_rule.immediateTries) {
        ++m_immediateTaken;
        return 0;
    }
    return NextPause(std::nullopt);
}

std::optional<DWORD> CRetrySchedule::AfterBusyAnswer(std::optional<DWORD> serverAskedMs) {
    return NextPause(serverAskedMs);
}

void CRetrySchedule::StartAnew() {
    m_immediateTaken = 0;
    m_pausesTaken = 0;
}

std::optional<DWORD> CRetrySchedule::NextPause(std::optional<DWORD> serverAskedMs) {
    if (m_pausesTaken >= m_rule.pauses) return std::nullopt;
    const int doublings = std::min(m_pausesTaken, 30);
    const double plain = std::min<double>(static_cast<double>(m_rule.firstPauseMs) * (1u << doublings),
                                          static_cast<double>(m_rule.capMs));
    std::uniform_real_distribution<double> spread(1.0 - m_rule.jitter, 1.0 + m_rule.jitter);
    double pause = std::min(plain * spread(m_random), static_cast<double>(m_rule.capMs));
    if (serverAskedMs) pause = std::max(pause, static_cast<double>(std::min(*serverAskedMs, m_rule.capMs)));
    ++m_pausesTaken;
    return static_cast<DWORD>(pause);
}
