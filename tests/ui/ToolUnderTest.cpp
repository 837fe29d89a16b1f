#include "ToolUnderTest.h"

#include <cstdio>
#include <fstream>

namespace uitest {

namespace {

int g_failures = 0;
LARGE_INTEGER g_start = [] {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}();

constexpr wchar_t kTitle[] = L"Velmora Nibcraft 7315 - HID Tool Ver 1.0.6.13";
// Time stamp "YYYY/MM/DD, HH:MM:SS" and two spaces.
constexpr size_t kStampLength = 22;
// The longest path the Open dialog returns, with the stamp and "Open File " before it.
constexpr size_t kLongestLogLine = kStampLength + 10 + 32767;

struct Search {
    DWORD processId;
    HWND owner;  // null: the main dialog
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || !IsWindowVisible(window)) return TRUE;
    if (ClassName(window) != L"#32770") return TRUE;
    if (search->owner == nullptr ? WindowText(window) == kTitle
                                 : GetWindow(window, GW_OWNER) == search->owner) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

void Check(bool condition, const std::string& what) {
    if (condition) return;
    ++g_failures;
    std::printf("FAIL: %s\n", what.c_str());
    std::fflush(stdout);
}

int Failures() { return g_failures; }

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(c < 128 ? static_cast<char>(c) : '?');
    return out;
}

double NowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - g_start.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

std::wstring WindowText(HWND window) {
    wchar_t buffer[1024] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_BLOCK,
                        10000, &length);
    return buffer;
}

std::wstring ClassName(HWND window) {
    wchar_t buffer[256] = {};
    GetClassNameW(window, buffer, 256);
    return buffer;
}

std::wstring TempFile(const std::wstring& name) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    std::wstring path = std::wstring(folder) + L"padsmith-ui-" + name;
    DeleteFileW(path.c_str());
    return path;
}

std::vector<uint8_t> ReadFileBytes(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path.c_str(), std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::ifstream file(path.c_str());
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

ToolUnderTest::ToolUnderTest(const std::wstring& exe, const std::wstring& simulatorOptions,
                             const std::wstring& extraArguments) {
    std::wstring commandLine = L"\"" + exe + L"\" --simulate=" + simulatorOptions;
    if (!extraArguments.empty()) commandLine += L" " + extraArguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &m_process)) {
        Check(false, "PadsmithTool.exe starts");
        return;
    }
    Search search{m_process.dwProcessId, nullptr, nullptr};
    WaitFor([&] {
        EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr || Exited();
    }, 20000);
    m_dialog = search.found;
    Check(m_dialog != nullptr, "the main dialog appears with the catalogue title");
}

ToolUnderTest::~ToolUnderTest() {
    if (m_process.hProcess == nullptr) return;
    if (!Exited() && !Close()) {
        TerminateProcess(m_process.hProcess, 1);
        WaitForSingleObject(m_process.hProcess, 5000);
    }
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
}

void ToolUnderTest::Click(int id, WORD code) const {
    PostMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(Item(id)));
}

std::vector<std::wstring> ToolUnderTest::LogLines() const {
    std::vector<std::wstring> lines;
    HWND list = Item(1009);
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_BLOCK, 10000, &count)) return lines;
    // The tool inserts lines at the top while we read, so item i may have changed between a
    // LB_GETTEXTLEN and the LB_GETTEXT after it. The buffer is sized for the longest line the
    // tool can log (a stamp and "Open File " with a path of the longest length), never for the
    // length asked a moment before: a longer line in its place would overrun it.
    std::wstring buffer(kLongestLogLine + 1, L'\0');
    for (DWORD_PTR i = 0; i < count; ++i) {
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_BLOCK, 10000, &length) ||
            length == static_cast<DWORD_PTR>(LB_ERR) || length > kLongestLogLine) {
            lines.push_back(L"<unreadable line>");
            continue;
        }
        DWORD_PTR copied = 0;
        SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&buffer[0]), SMTO_BLOCK,
                            10000, &copied);
        lines.push_back(copied == static_cast<DWORD_PTR>(LB_ERR) ? std::wstring()
                                                                 : buffer.substr(0, copied));
    }
    return lines;
}

std::vector<std::wstring> ToolUnderTest::LogTexts() const {
    std::vector<std::wstring> texts;
    for (const std::wstring& line : LogLines()) {
        texts.push_back(line.size() >= kStampLength ? line.substr(kStampLength) : L"<short line>");
    }
    return texts;
}

bool ToolUnderTest::WaitForLogCount(size_t count, int timeoutMs) const {
    return WaitFor([&] { return LogLines().size() >= count; }, timeoutMs);
}

HWND ToolUnderTest::FindOwnedDialog() const {
    Search search{m_process.dwProcessId, m_dialog, nullptr};
    EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool ToolUnderTest::Close(int timeoutMs) {
    PostMessageW(m_dialog, WM_COMMAND, IDCANCEL, 0);
    return WaitForSingleObject(m_process.hProcess, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
}

bool ToolUnderTest::Exited() const {
    return WaitForSingleObject(m_process.hProcess, 0) == WAIT_OBJECT_0;
}

DWORD ToolUnderTest::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(m_process.hProcess, &code);
    return code;
}

void ToolUnderTest::LeaveRunning() {
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
    m_process = PROCESS_INFORMATION{};
}

}  // namespace uitest
