#include "app/PortQuarantine.h"

namespace padsmith {

bool FailuresInRow::Take(const DisplayOutcome& outcome) {
    if (m_limit <= 0 || m_outOfService || outcome.historyRefused) return false;
    switch (RowOf(outcome.result).onPort) {
        case PortEvidence::kWorks: m_failures.clear(); return false;
        case PortEvidence::kNone: return false;
        case PortEvidence::kFails: break;
    }
    m_failures.push_back(PortFailure{outcome.serial, outcome.error});
    if (static_cast<int>(m_failures.size()) < m_limit) return false;
    m_outOfService = true;
    return true;
}

void FailuresInRow::Clear() {
    m_failures.clear();
    m_outOfService = false;
}

}  // namespace padsmith
