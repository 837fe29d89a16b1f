#pragma once
// The write's progress on the dialog's taskbar button. The taskbar object lives on the UI thread
// and is made when a run starts (not on TaskbarButtonCreated, which some systems never send);
// the worker only posts its counts, so no COM object crosses threads.

#include <windows.h>

#include <atomic>

#include "device/DriverHooks.h"

struct ITaskbarList3;

namespace padsmith::win32 {

// UI thread: the taskbar button.
class TaskbarProgress {
public:
    TaskbarProgress() = default;
    ~TaskbarProgress();
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;

    // A write run starts: the button shows an empty bar. Does nothing when the system has no
    // taskbar object.
    void Begin(HWND window);
    void Update(int written, int total);
    // The bar goes away and the taskbar object is released.
    void End();

private:
    HWND m_window = nullptr;
    ITaskbarList3* m_taskbar = nullptr;
};

// Worker thread: posts the progress to the dialog, once per whole percent.
class PostedWriteProgress : public WriteProgress {
public:
    void Attach(HWND target) { m_target = target; }
    void OnRecordWritten(int written, int total) override;
    void OnWriteEnded() override;

private:
    HWND m_target = nullptr;
    std::atomic<int> m_lastPercent{-1};
};

}  // namespace padsmith::win32
