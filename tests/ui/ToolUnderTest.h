#pragma once
// Drives a running PadsmithTool.exe from another process, the way a user's clicks reach it:
// through window messages. Everything here waits with a deadline, so a hung tool fails a check
// instead of the suite.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace uitest {

// Records a failed check; the suite's exit code is the number of failures.
void Check(bool condition, const std::string& what);
int Failures();

std::string Narrow(const std::wstring& text);
// Milliseconds since the automation started.
double NowMs();
// Polls `condition` every 20 ms until it holds or `timeoutMs` passes.
template <typename Condition>
bool WaitFor(Condition condition, int timeoutMs) {
    const double deadline = NowMs() + timeoutMs;
    while (!condition()) {
        if (NowMs() > deadline) return false;
        Sleep(20);
    }
    return true;
}

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);

// A file in the suite's own temporary folder (Windows path); deleted first.
std::wstring TempFile(const std::wstring& name);
std::vector<uint8_t> ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);
std::vector<std::string> ReadLines(const std::wstring& path);

class ToolUnderTest {
public:
    // Starts `exe --simulate=OPTIONS` and waits for its main dialog.
    // `extraArguments` follow the --simulate switch on the tool's command line.
    ToolUnderTest(const std::wstring& exe, const std::wstring& simulatorOptions,
                  const std::wstring& extraArguments = L"");
    // Closes the tool if it still runs (killing it when it will not close).
    ~ToolUnderTest();
    ToolUnderTest(const ToolUnderTest&) = delete;
    ToolUnderTest& operator=(const ToolUnderTest&) = delete;

    bool Started() const { return m_dialog != nullptr; }
    HWND Dialog() const { return m_dialog; }
    HWND Item(int id) const { return GetDlgItem(m_dialog, id); }
    DWORD ProcessId() const { return m_process.dwProcessId; }

    // Posts WM_COMMAND as a click of control `id` would.
    void Click(int id, WORD code = BN_CLICKED) const;
    // The activity log, index 0 newest, and the same lines without their time stamps.
    std::vector<std::wstring> LogLines() const;
    std::vector<std::wstring> LogTexts() const;
    // Waits until the log holds `count` lines.
    bool WaitForLogCount(size_t count, int timeoutMs) const;
    // A top-level window of the tool owned by the main dialog (the Open dialog, the About box).
    HWND FindOwnedDialog() const;
    // Ends the modal run with Esc's command and waits for the process to exit (which saves
    // the simulated flash). False when it does not end.
    bool Close(int timeoutMs = 10000);
    bool Exited() const;
    // The program's exit code, once it has exited.
    DWORD ExitCode() const;
    // Lets the tool run on after this object is gone (a screenshot of it is taken next).
    void LeaveRunning();

private:
    PROCESS_INFORMATION m_process{};
    HWND m_dialog = nullptr;
};

}  // namespace uitest
