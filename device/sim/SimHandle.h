#pragma once
// A handle of a simulated port (the simulated bus, a replayed recording), the part both ports'
// handles share: what the port knows of it, what it answers without asking the display (its IDs,
// its usages, its last error), the input reports queued for it, and its end. Each port's handle
// adds how its display answers the feature reports.
//
// The port's core (`Core`) has a `mutex` that guards every handle's state, a `changed` condition
// (handle validity, queued input reports), `open`, the states of the live handles (a path there
// cannot be opened again), and Closed(state), what else a handle's end means to the port.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "device/HidPort.h"

namespace padsmith::sim {

// Input reports a handle keeps while nobody reads them; older ones are dropped, as the HID class
// driver does with its default ring of 32 buffers.
inline constexpr size_t kInputBufferCount = 32;

// What the port knows of one open handle; guarded by the port's lock.
struct SimHandleState {
    HidInterface iface;
    int display = 0;    // the display of the simulated bus it belongs to; 0: another device's
    bool valid = true;  // false once the display (or the port) is gone
    std::deque<std::vector<uint8_t>> inputs;  // oldest first

    void Queue(std::vector<uint8_t> report) {
        if (inputs.size() == kInputBufferCount) inputs.pop_front();
        inputs.push_back(std::move(report));
    }
};

template <typename Core>
class SimHandle : public HidDevice {
public:
    // Made under the core's lock: the handle joins the open ones at once.
    SimHandle(std::shared_ptr<Core> core, SimHandleState state) : m_core(std::move(core)), m_state(std::move(state)) {
        m_core->open.push_back(&m_state);
    }

    ~SimHandle() override {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        auto& open = m_core->open;
        open.erase(std::remove(open.begin(), open.end(), &m_state), open.end());
        m_core->Closed(m_state);
    }

    SimHandle(const SimHandle&) = delete;
    SimHandle& operator=(const SimHandle&) = delete;

    Error LastError() const override {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        return m_lastError;
    }

    bool GetAttributes(uint16_t& vendorId, uint16_t& productId) override {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        if (!m_state.valid) return false;
        vendorId = m_state.iface.vendorId;
        productId = m_state.iface.productId;
        return true;
    }

    bool GetCaps(uint16_t& usagePage, uint16_t& usage) override {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        if (!m_state.valid) return false;
        usagePage = m_state.iface.usagePage;
        usage = m_state.iface.usage;
        return true;
    }

    // Waits until a report is queued, the handle dies or the reader's stop is asked for. A buffer
    // shorter than the report fails, as the platform's read does.
    ReadStatus ReadInputReport(uint8_t* report, size_t length, size_t& bytesRead, ReadStop& stop) override {
        // Set before the lock is taken: a stop takes the lock inside its wake, which owns the core.
        stop.SetWake([core = m_core] {
            std::lock_guard<std::mutex> lock(core->mutex);
            core->changed.notify_all();
        });
        ReadStatus status = ReadStatus::kFailed;
        {
            std::unique_lock<std::mutex> lock(m_core->mutex);
            m_core->changed.wait(lock, [&] { return stop.Requested() || !m_state.valid || !m_state.inputs.empty(); });
            if (stop.Requested()) {
                status = ReadStatus::kCancelled;
            } else if (m_state.valid && report != nullptr && length >= m_state.inputs.front().size()) {
                const std::vector<uint8_t>& next = m_state.inputs.front();
                std::copy(next.begin(), next.end(), report);
                bytesRead = next.size();
                m_state.inputs.pop_front();
                status = ReadStatus::kReport;
            }
        }
        stop.SetWake(nullptr);
        return status;
    }

protected:
    std::shared_ptr<Core> m_core;
    SimHandleState m_state;
    Error m_lastError;  // guarded by the core's lock
};

}  // namespace padsmith::sim
