#include "app/win32/TaskbarProgress.h"

#include <shobjidl.h>

#include "app/win32/PrivateMessages.h"

namespace padsmith::win32 {

TaskbarProgress::~TaskbarProgress() { End(); }

void TaskbarProgress::Begin(HWND window) {
    End();
    m_window = window;
    ITaskbarList3* taskbar = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&taskbar)))) {
        return;
    }
    if (FAILED(taskbar->HrInit())) {
        taskbar->Release();
        return;
    }
    m_taskbar = taskbar;
    m_taskbar->SetProgressState(m_window, TBPF_NORMAL);
    m_taskbar->SetProgressValue(m_window, 0, 1);
}

void TaskbarProgress::Update(int written, int total) {
    if (m_taskbar == nullptr || total <= 0) return;
    m_taskbar->SetProgressValue(m_window, static_cast<ULONGLONG>(written),
                                static_cast<ULONGLONG>(total));
}

void TaskbarProgress::End() {
    if (m_taskbar == nullptr) return;
    m_taskbar->SetProgressState(m_window, TBPF_NOPROGRESS);
    m_taskbar->Release();
    m_taskbar = nullptr;
}

void PostedWriteProgress::OnRecordWritten(int written, int total) {
    if (total <= 0) return;
    const int percent = static_cast<int>(static_cast<long long>(written) * 100 / total);
    if (m_lastPercent.exchange(percent) == percent) return;
    PostMessageW(m_target, kWmWriteProgress, static_cast<WPARAM>(written), total);
}

void PostedWriteProgress::OnWriteEnded() {
    m_lastPercent = -1;
    PostMessageW(m_target, kWmWriteEnded, 0, 0);
}

}  // namespace padsmith::win32
