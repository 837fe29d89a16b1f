#include "device/sim/ReplayScript.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "device/sim/SimFirmware.h"

namespace padsmith::sim {
namespace {

bool IsSet(ReportKind kind) {
    return kind == ReportKind::kSet || kind == ReportKind::kSetRefused || kind == ReportKind::kSetGone;
}

std::string Milliseconds(Micros duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", static_cast<double>(duration.count()) / 1000.0);
    return text;
}

}  // namespace

ReplayScript::ReplayScript(ParsedTrace trace, std::string name)
    : m_entries(std::move(trace.entries)), m_name(std::move(name)) {}

ReplayScript::Answer ReplayScript::Set(const uint8_t* report, size_t length, Micros now) {
    return Match(false, report, length, now);
}

ReplayScript::Answer ReplayScript::Get(const uint8_t* request, size_t length, Micros now) {
    return Match(true, request, length, now);
}

ReplayScript::Answer ReplayScript::Match(bool get, const uint8_t* bytes, size_t length, Micros now) {
    m_started = true;
    if (Diverged()) return Answer{};
    const std::vector<uint8_t> sent(bytes, bytes + length);
    const std::string sentText = std::string(get ? "get " : "set ") + HexBytes(sent);
    if (m_next == m_entries.size()) {
        const std::string last = m_entries.empty() ? "" : " (line " + std::to_string(m_entries.back().line) + ")";
        return Diverge("after its last record" + last, "sent " + sentText + ", which the recording does not hold");
    }
    const ParsedTrace::Entry& entry = m_entries[m_next];
    const ReportRecord& recorded = entry.record;
    const std::string at = "at line " + std::to_string(entry.line);
    const bool sameKind = IsSet(recorded.kind) != get;
    if (!sameKind || recorded.bytes != sent) {
        std::string what = std::string("recorded ") + ReportKindName(recorded.kind) + " " +
                           HexBytes(recorded.bytes) + ", sent " + sentText;
        if (sameKind) {
            const auto differ = std::mismatch(sent.begin(), sent.end(), recorded.bytes.begin(), recorded.bytes.end());
            what += " (first difference at byte " + std::to_string(differ.first - sent.begin()) + ")";
        }
        return Diverge(at, what);
    }
    const std::string tooSoon = TooSoon(recorded, now);
    if (!tooSoon.empty()) return Diverge(at, sentText + " " + tooSoon);
    Track(recorded, now);
    ++m_next;
    Answer answer;
    answer.line = entry.line;
    switch (recorded.kind) {
        case ReportKind::kSet:
            answer.outcome = Outcome::kAccepted;
            break;
        case ReportKind::kGet:
            answer.outcome = Outcome::kAccepted;
            answer.reply = recorded.reply;
            break;
        case ReportKind::kSetGone:
        case ReportKind::kGetGone:
            answer.outcome = Outcome::kGone;
            break;
        default:
            answer.outcome = Outcome::kRefused;
            break;
    }
    return answer;
}

std::string ReplayScript::TooSoon(const ReportRecord& recorded, Micros now) const {
    if (recorded.kind != ReportKind::kSet || recorded.bytes.empty() || recorded.bytes[0] != kWriteRecordId) {
        return std::string();
    }
    if (now < m_eraseEnds) {
        return "came " + Milliseconds(now - (m_eraseEnds - kEraseTime)) +
               " after the erase, sooner than the flash allows (" + Milliseconds(kEraseTime) + ")";
    }
    if (now < m_programmingEnds) {
        return "came " + Milliseconds(now - (m_programmingEnds - kProgramTime)) +
               " after the previous record, sooner than the flash allows (" + Milliseconds(kProgramTime) + ")";
    }
    return std::string();
}

void ReplayScript::Track(const ReportRecord& recorded, Micros now) {
    if (recorded.kind != ReportKind::kSet || recorded.bytes.empty()) return;
    if (recorded.bytes[0] == kEraseId) m_eraseEnds = now + kEraseTime;
    if (recorded.bytes[0] == kWriteRecordId) m_programmingEnds = now + kProgramTime;
}

const ReportRecord* ReplayScript::NextEvent() const {
    if (Diverged() || m_next == m_entries.size()) return nullptr;
    const ReportRecord& next = m_entries[m_next].record;
    return IsRequest(next.kind) ? nullptr : &next;
}

ReportRecord ReplayScript::TakeEvent() {
    ReportRecord event = m_entries.at(m_next++).record;
    if (event.kind == ReportKind::kArrival) {
        m_eraseEnds = Micros{0};
        m_programmingEnds = Micros{0};
    }
    return event;
}

bool ReplayScript::PresentAtStart() const {
    for (const ParsedTrace::Entry& entry : m_entries) {
        if (entry.record.kind == ReportKind::kArrival) return false;
        if (entry.record.kind == ReportKind::kRemoval) return true;
    }
    return true;
}

void ReplayScript::End() {
    m_started = true;
    if (Diverged() || m_next == m_entries.size()) return;
    const ParsedTrace::Entry& first = m_entries[m_next];
    const size_t left = m_entries.size() - m_next;
    std::string record = ReportKindName(first.record.kind);
    if (!first.record.bytes.empty()) record += " " + HexBytes(first.record.bytes);
    Diverge("", "the session ended with " + std::to_string(left) + " recorded record" + (left == 1 ? "" : "s") +
                    " unplayed, the first at line " + std::to_string(first.line) + ": " + record);
}

ReplayScript::Answer ReplayScript::Diverge(const std::string& where, const std::string& what) {
    m_divergence = Error(ErrorKind::kDiverged,
                         "replay of " + m_name + " diverged" + (where.empty() ? "" : " " + where) + ": " + what);
    return Answer{};
}

}  // namespace padsmith::sim
