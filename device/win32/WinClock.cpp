#include "device/win32/WinClock.h"

#include <algorithm>

#include "base/win32/SystemLibrary.h"

namespace padsmith::win32 {

namespace {

// Not in MinGW-w64 10's headers.
constexpr DWORD kCreateWaitableTimerHighResolution = 0x00000002;

// The event behind the device lock.
class WinAutoResetEvent : public TimedEvent {
public:
    explicit WinAutoResetEvent(bool signalled)
        : m_event(CreateEventW(nullptr, FALSE, signalled ? TRUE : FALSE, nullptr)) {}
    ~WinAutoResetEvent() override {
        if (m_event != nullptr) CloseHandle(m_event);
    }
    WinAutoResetEvent(const WinAutoResetEvent&) = delete;
    WinAutoResetEvent& operator=(const WinAutoResetEvent&) = delete;

    bool Wait(Millis timeout) override {
        DWORD ms = INFINITE;
        if (timeout != kInfinite) {
            const auto count = timeout.count() < 0 ? 0 : timeout.count();
            ms = count >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(count);
        }
        return WaitForSingleObject(m_event, ms) == WAIT_OBJECT_0;
    }
    void Set() override { SetEvent(m_event); }

private:
    HANDLE m_event;
};

// winmm.dll is not a KnownDLL either, so it too comes from the system directory only.
class TimerResolution {
public:
    TimerResolution() {
        m_winmm.Bind("timeBeginPeriod", m_begin);
        m_winmm.Bind("timeEndPeriod", m_end);
    }
    void Raise() const {
        if (m_begin != nullptr) m_begin(1);
    }
    void Restore() const {
        if (m_end != nullptr) m_end(1);
    }

private:
    using PeriodFunction = UINT WINAPI(UINT);
    SystemLibrary m_winmm{L"winmm.dll"};
    PeriodFunction* m_begin = nullptr;
    PeriodFunction* m_end = nullptr;
};

const TimerResolution& ProcessTimerResolution() {
    static const TimerResolution resolution;
    return resolution;
}

// One timer per thread: the workers and the UI thread pause independently.
class ThreadTimer {
public:
    ThreadTimer()
        : m_timer(CreateWaitableTimerExW(nullptr, nullptr, kCreateWaitableTimerHighResolution,
                                         TIMER_ALL_ACCESS)) {}
    ~ThreadTimer() {
        if (m_timer != nullptr) CloseHandle(m_timer);
    }
    ThreadTimer(const ThreadTimer&) = delete;
    ThreadTimer& operator=(const ThreadTimer&) = delete;

    // Waits about `hundredNanoseconds`; false when there is no high-resolution timer.
    bool Wait(LONGLONG hundredNanoseconds) const {
        if (m_timer == nullptr) return false;
        LARGE_INTEGER due;
        due.QuadPart = -hundredNanoseconds;  // negative: relative to now
        if (!SetWaitableTimer(m_timer, &due, 0, nullptr, nullptr, FALSE)) return false;
        return WaitForSingleObject(m_timer, INFINITE) == WAIT_OBJECT_0;
    }

private:
    HANDLE m_timer;
};

LONGLONG CounterNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

}  // namespace

WinClock::WinClock() {
    QueryPerformanceFrequency(&m_frequency);
    QueryPerformanceCounter(&m_start);
}

Micros WinClock::Now() {
    const LONGLONG ticks = CounterNow() - m_start.QuadPart;
    // Split to keep the multiplication in range for a long-running program.
    const LONGLONG seconds = ticks / m_frequency.QuadPart;
    const LONGLONG rest = ticks % m_frequency.QuadPart;
    return Micros(seconds * 1000000 + rest * 1000000 / m_frequency.QuadPart);
}

void WinClock::Sleep(Micros duration) {
    if (duration.count() <= 0) return;
    const LONGLONG frequency = m_frequency.QuadPart;
    // Rounded up: never shorter than asked.
    const LONGLONG deadline = CounterNow() + CounterTicks(duration, frequency);
    // Timer waits are left a millisecond early and the rest is spent yielding: some systems
    // (Wine among them) end timer waits on whole milliseconds, which would add half a
    // millisecond to every pause of a write, 5% of its length.
    const LONGLONG yieldMargin = frequency / 1000;
    thread_local ThreadTimer timer;
    bool raised = false;
    for (LONGLONG now = CounterNow(); now < deadline; now = CounterNow()) {
        // At most a second of timer wait a round: ticks times 10^7 (the timer's unit) would
        // overflow on a pause of days.
        const LONGLONG coarse = std::min(deadline - now - yieldMargin, frequency);
        if (coarse <= 0) {
            // A thread switch can itself take a tenth of a millisecond: spin, letting a ready
            // thread of this processor go first.
            if (!SwitchToThread()) YieldProcessor();
            continue;
        }
        if (timer.Wait(coarse * 10000000 / frequency)) continue;
        // No high-resolution timer: a 1 ms timer resolution for the rest of this pause.
        if (!raised) {
            ProcessTimerResolution().Raise();
            raised = true;
        }
        ::Sleep(static_cast<DWORD>(coarse * 1000 / frequency));
    }
    if (raised) ProcessTimerResolution().Restore();
}

LONGLONG WinClock::CounterTicks(Micros duration, LONGLONG frequency) {
    // Whole seconds apart: days of microseconds times a 10 MHz counter would overflow.
    const LONGLONG micros = duration.count();
    return (micros / 1000000) * frequency + ((micros % 1000000) * frequency + 999999) / 1000000;
}

std::unique_ptr<TimedEvent> WinClock::CreateAutoResetEvent(bool signalled) {
    return std::make_unique<WinAutoResetEvent>(signalled);
}

}  // namespace padsmith::win32
