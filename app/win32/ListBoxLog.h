#pragma once
// The activity log on the dialog's list box. An append is one step on the UI thread: the line is
// handed over with SendMessageW and the dialog's window procedure counts, inserts at the top and
// trims, with nothing in between. So the 51-line bound holds exactly whichever threads append.
// Callers must not hold a lock while they append (the core never logs under the device lock).

#include <windows.h>

#include "app/ActivityLog.h"

namespace padsmith::win32 {

class ListBoxLog : public LogList {
public:
    // `router` is the window whose procedure calls OnAppendMessage; `listBox` the list.
    void Attach(HWND router, HWND listBox);

    // Any thread. Returns when the line is in the list.
    void InsertLine(const std::wstring& line) override;

    // In the router's window procedure, for kWmAppendLogLine.
    void OnAppendMessage(LPARAM lParam) const;

private:
    HWND m_router = nullptr;
    HWND m_listBox = nullptr;
};

}  // namespace padsmith::win32
