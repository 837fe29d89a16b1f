#include "app/win32/ListBoxLog.h"

#include "app/win32/PrivateMessages.h"

namespace padsmith::win32 {

void ListBoxLog::Attach(HWND router, HWND listBox) {
    m_router = router;
    m_listBox = listBox;
}

void ListBoxLog::InsertLine(const std::wstring& line) {
    if (m_router == nullptr) return;
    SendMessageW(m_router, kWmAppendLogLine, 0, reinterpret_cast<LPARAM>(&line));
}

void ListBoxLog::OnAppendMessage(LPARAM lParam) const {
    const auto& line = *reinterpret_cast<const std::wstring*>(lParam);
    const LRESULT count = SendMessageW(m_listBox, LB_GETCOUNT, 0, 0);
    const size_t before = count < 0 ? 0 : static_cast<size_t>(count);
    // LB_INSERTSTRING never sorts, although the list has the sort style.
    SendMessageW(m_listBox, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    const size_t trim = LinesToTrim(before);
    for (size_t i = 0; i < trim; ++i) {
        SendMessageW(m_listBox, LB_DELETESTRING, static_cast<WPARAM>(before - i), 0);
    }
}

}  // namespace padsmith::win32
