// The Windows suite: starts the real PadsmithTool.exe on the simulated device and checks what a
// user sees and what reaches the device, through window messages only.
// Usage: UiAutomation.exe PATH\PadsmithTool.exe GROUP   (GROUP: see kGroups below)

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "ToolUnderTest.h"

using namespace uitest;

namespace {

std::wstring g_exe;

const wchar_t kPleaseWait[] = L"Please wait when operatation...";
constexpr int kOpenFileNameBox = 0x47C;  // cmb13 of the common Open dialog
constexpr size_t kFlashSize = 0xD800;
// The exit status of a group that cannot run on this system (ctest's SKIP_RETURN_CODE).
constexpr int kSkipped = 77;

std::string Join(const std::vector<std::wstring>& texts) {
    std::string out;
    for (const auto& text : texts) out += "[" + Narrow(text) + "]";
    return out;
}

void CheckTexts(const ToolUnderTest& tool, const std::vector<std::wstring>& expected,
                const std::string& what) {
    const auto texts = tool.LogTexts();
    Check(texts == expected, what + ": log is " + Join(texts) + ", expected " + Join(expected));
}

bool ButtonEnabled(const ToolUnderTest& tool) { return IsWindowEnabled(tool.Item(1005)) != FALSE; }

// Clicks Write Flash and answers the Open dialog with `path` (or Cancel when empty).
bool ChooseImage(const ToolUnderTest& tool, const std::wstring& path) {
    tool.Click(1005);
    HWND open = nullptr;
    WaitFor([&] { return (open = tool.FindOwnedDialog()) != nullptr; }, 10000);
    Check(open != nullptr, "Write Flash shows the Open dialog");
    if (open == nullptr) return false;
    Check(!ButtonEnabled(tool), "Write Flash is disabled while the Open dialog is up");
    Check(!IsWindowEnabled(tool.Dialog()), "the Open dialog is modal over the main dialog");
    if (path.empty()) {
        PostMessageW(open, WM_COMMAND, IDCANCEL, 0);
    } else {
        HWND nameBox = GetDlgItem(open, kOpenFileNameBox);
        Check(nameBox != nullptr, "the Open dialog has its file-name box");
        SendMessageW(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        PostMessageW(GetDlgItem(open, IDOK), BM_CLICK, 0, 0);
    }
    return WaitFor([&] { return !IsWindow(open); }, 10000);
}

std::vector<uint8_t> Flash(const std::wstring& path) {
    auto flash = ReadFileBytes(path);
    Check(flash.size() == kFlashSize, "the flash file holds 0xD800 bytes");
    flash.resize(kFlashSize);
    return flash;
}

struct Exchange {
    double micros;
    std::string kind;
    std::string hex;
};

// The reports of a trace or a record file; a record's interface, arrival and removal lines are
// left out.
std::vector<Exchange> Trace(const std::wstring& path) {
    std::vector<Exchange> exchanges;
    for (const std::string& line : ReadLines(path)) {
        char kind[32] = {}, hex[128] = {};
        double micros = 0;
        if (std::sscanf(line.c_str(), "%lf %31s %127s", &micros, kind, hex) == 3 &&
            std::strcmp(kind, "interface") != 0) {
            exchanges.push_back({micros, kind, hex});
        }
    }
    return exchanges;
}

size_t CountSets(const std::vector<Exchange>& trace, const std::string& prefix) {
    size_t n = 0;
    for (const auto& e : trace) n += (e.kind == "set" && e.hex.compare(0, prefix.size(), prefix) == 0);
    return n;
}

// --- Groups ---

void StartupGroup() {
    ToolUnderTest tool(g_exe, L"");
    if (!tool.Started()) return;
    HWND dialog = tool.Dialog();
    const std::pair<int, const wchar_t*> captions[] = {
        {1011, L"HID Device List"}, {1012, L"Tips"},        {1013, L"Flash Operation"},
        {1005, L"Write Flash"},     {1003, L"Erase Flash"}, {1010, L"Get Firmware Version"},
        {1014, L"Please do not touch the screen by hand during upgrading with this tool"},
        {1000, L"0x2A7D"},          {1002, L"0x6C21"},      {1001, L"??VID?PID"},
        {1006, L"????USB??"},       {1008, L"????"},        {1007, L""},
    };
    for (const auto& [id, text] : captions) {
        Check(WindowText(tool.Item(id)) == text, "control " + std::to_string(id) + " reads \"" +
                                                     Narrow(text) + "\", not \"" +
                                                     Narrow(WindowText(tool.Item(id))) + "\"");
    }
    HWND combo = tool.Item(1004);
    Check(SendMessageW(combo, CB_GETCOUNT, 0, 0) == 1, "the device list has one entry");
    Check(SendMessageW(combo, CB_GETCURSEL, 0, 0) == 0, "the entry is selected");
    wchar_t entry[64] = {};
    SendMessageW(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(entry));
    Check(std::wstring(entry) == L"qxtp0001", "the entry is qxtp0001, not " + Narrow(entry));
    Check(tool.LogLines().empty(), "the log is empty after start-up");

    // Template 102: the 18 controls in tab order, their kinds, styles, visibility and rectangles.
    struct Expected {
        int id;
        const wchar_t* cls;
        DWORD styles;  // bits that must be set
        DWORD kind;    // the low type nibble of buttons and statics
        bool visible;
        int x, y, cx, cy;
    };
    const Expected controls[] = {
        // WS_VSCROLL is not checked here: combo and list boxes drop it from their window style
        // while no scroll bar is needed.
        {1004, L"ComboBox", CBS_DROPDOWNLIST | CBS_SORT | WS_TABSTOP, 0, true, 17, 13, 126, -1},
        {-1, L"Static", WS_GROUP, SS_LEFT, false, 10, 101, 48, 8},
        {1000, L"Edit", ES_AUTOHSCROLL | WS_TABSTOP, 0, false, 58, 98, 40, 14},
        {-1, L"Static", WS_GROUP, SS_LEFT, false, 10, 125, 49, 8},
        {1002, L"Edit", ES_AUTOHSCROLL | WS_TABSTOP, 0, false, 56, 121, 40, 14},
        {1001, L"Button", WS_TABSTOP, BS_PUSHBUTTON, false, 17, 133, 50, 14},
        {1008, L"Button", WS_TABSTOP, BS_PUSHBUTTON, false, 77, 70, 50, 14},
        {1005, L"Button", WS_TABSTOP, BS_PUSHBUTTON, true, 180, 12, 50, 14},
        {1003, L"Button", WS_TABSTOP, BS_PUSHBUTTON, false, 258, 12, 50, 14},
        {1006, L"Button", WS_TABSTOP, BS_PUSHBUTTON, false, 59, 166, 64, 14},
        {1007, L"Edit", ES_AUTOHSCROLL | WS_TABSTOP, 0, false, 13, 53, 240, 14},
        {1009, L"ListBox", LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | WS_TABSTOP, 0, true, 17, 78, 433, 104},
        {1011, L"Button", 0, BS_GROUPBOX, true, 8, 3, 141, 35},
        {-1, L"Button", 0, BS_GROUPBOX, false, 4, 87, 145, 62},
        {1012, L"Button", 0, BS_GROUPBOX, true, 8, 42, 449, 141},
        {1013, L"Button", 0, BS_GROUPBOX, true, 151, 3, 306, 35},
        {1010, L"Button", WS_TABSTOP, BS_PUSHBUTTON, true, 348, 12, 78, 14},
        {1014, L"Static", WS_GROUP, SS_CENTER, true, 17, 54, 433, 14},
    };
    RECT client;
    GetClientRect(dialog, &client);
    const double sx = client.right / 466.0, sy = client.bottom / 192.0;
    std::vector<HWND> children;
    HWND driverWindow = nullptr;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassName(child) == L"PadsmithDriverWindow") {
            driverWindow = child;
        } else {
            children.push_back(child);
        }
    }
    Check(children.size() == 18, "the dialog has 18 controls, not " + std::to_string(children.size()));
    for (size_t i = 0; i < children.size() && i < 18; ++i) {
        const Expected& e = controls[i];
        HWND child = children[i];
        const std::string name = "control #" + std::to_string(i) + " (" + std::to_string(e.id) + ")";
        const DWORD style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
        Check(GetDlgCtrlID(child) == e.id || (e.id == -1 && GetDlgCtrlID(child) == 0xFFFF),
              name + " has its ID in tab order");
        Check(_wcsicmp(ClassName(child).c_str(), e.cls) == 0, name + " is a " + Narrow(e.cls));
        char styleText[64];
        std::snprintf(styleText, sizeof styleText, " (0x%08lX, wanted 0x%08lX)", static_cast<unsigned long>(style),
                      static_cast<unsigned long>(e.styles));
        Check((style & e.styles) == e.styles, name + " has its styles" + styleText);
        Check((e.cls == std::wstring(L"Button") || e.cls == std::wstring(L"Static"))
                  ? (style & 0x1F) == e.kind : true, name + " is of its kind");
        Check(((style & WS_VISIBLE) != 0) == e.visible, name + (e.visible ? " is shown" : " is hidden"));
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        auto closeTo = [](double pixels, int units, double scale) { return std::abs(pixels - units * scale) <= 2.0; };
        Check(closeTo(r.left, e.x, sx) && closeTo(r.top, e.y, sy) && closeTo(r.right - r.left, e.cx, sx) &&
                  (e.cy < 0 || closeTo(r.bottom - r.top, e.cy, sy)),
              name + " sits at its rectangle");
    }
    Check(driverWindow != nullptr, "the driver's notification window is a child of the dialog");
    if (driverWindow != nullptr) {
        RECT r;
        GetWindowRect(driverWindow, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        Check(static_cast<DWORD>(GetWindowLongW(driverWindow, GWL_STYLE)) == WS_CHILD,
              "the notification window is WS_CHILD only (hidden)");
        Check(r.left == 0 && r.top == 0 && r.right == 20 && r.bottom == 20,
              "the notification window is 20 x 20 at 0,0");
    }

    // Command 16 with any low four bits opens the About box, modal over the dialog.
    for (WPARAM command : {WPARAM(0x0010), WPARAM(0x001F)}) {
        PostMessageW(dialog, WM_SYSCOMMAND, command, 0);
        HWND about = nullptr;
        WaitFor([&] { return (about = tool.FindOwnedDialog()) != nullptr; }, 5000);
        Check(about != nullptr && WindowText(about) == L"About PadsmithTool",
              "system command " + std::to_string(command) + " opens the About box");
        if (about == nullptr) continue;
        Check(!IsWindowEnabled(dialog), "the About box is modal");
        PostMessageW(about, WM_COMMAND, IDOK, 0);
        Check(WaitFor([&] { return !IsWindow(about) && IsWindowEnabled(dialog); }, 5000),
              "OK closes the About box and the dialog is usable again");
    }
    Check(tool.Close(), "Esc's command closes an idle dialog and the program ends");
}

void AbsentGroup() {
    ToolUnderTest tool(g_exe, L"absent");
    if (!tool.Started()) return;
    Check(SendMessageW(tool.Item(1004), CB_GETCOUNT, 0, 0) == 0, "no entry without the target");
    Check(SendMessageW(tool.Item(1004), CB_GETCURSEL, 0, 0) == CB_ERR, "and no selection");
    Check(tool.LogLines().empty(), "the log stays empty without the target");
    tool.Click(1010);
    tool.WaitForLogCount(1, 10000);
    CheckTexts(tool, {L"Get Firmware Version Fail"}, "version query without the target");
}

void VersionGroup() {
    const std::wstring trace = TempFile(L"version-trace.txt");
    const std::wstring record = TempFile(L"version-record.txt");
    {
        ToolUnderTest tool(g_exe, L"trace=" + trace, L"\"--record=" + record + L"\"");
        if (!tool.Started()) return;
        tool.Click(1010);
        tool.WaitForLogCount(1, 10000);
        CheckTexts(tool,
                   {L"Get PCB Version(0.10.3.1) Firmware Version(1.0.10.255)Product Size(15.25 inches) Success"},
                   "Get Firmware Version");
        const auto lines = tool.LogLines();
        if (!lines.empty()) {
            const std::wstring& l = lines[0];
            Check(l.size() > 22 && l[4] == L'/' && l[7] == L'/' && l[10] == L',' && l[11] == L' ' &&
                      l[14] == L':' && l[17] == L':' && l[20] == L' ' && l[21] == L' ',
                  "a line starts with \"YYYY/MM/DD, HH:MM:SS\" and two spaces: " + Narrow(l));
        }
    }
    // --record keeps what the device's own trace keeps, times apart.
    const auto traced = Trace(trace);
    const auto recorded = Trace(record);
    bool same = !traced.empty() && traced.size() == recorded.size();
    for (size_t i = 0; same && i < traced.size(); ++i) {
        same = traced[i].kind == recorded[i].kind && traced[i].hex == recorded[i].hex;
    }
    Check(same, "the record file equals the trace in kinds and bytes (" + std::to_string(traced.size()) +
                    " and " + std::to_string(recorded.size()) + " reports)");
    ToolUnderTest tool(g_exe, L"no-reply");
    if (!tool.Started()) return;
    tool.Click(1010);
    tool.WaitForLogCount(1, 10000);
    CheckTexts(tool, {L"Get Firmware Version Fail"}, "version query without a reply");
}

void CancelGroup() {
    const std::wstring trace = TempFile(L"cancel-trace.txt");
    ToolUnderTest tool(g_exe, L"trace=" + trace);
    if (!tool.Started()) return;
    const size_t before = Trace(trace).size();
    Check(ChooseImage(tool, L""), "Cancel closes the Open dialog");
    tool.WaitForLogCount(1, 5000);
    CheckTexts(tool, {L"Cancel"}, "Cancel in the Open dialog");
    Check(WaitFor([&] { return ButtonEnabled(tool); }, 5000), "Write Flash is enabled after Cancel");
    Check(Trace(trace).size() == before, "Cancel sends nothing to the device");
}

std::vector<uint8_t> ImageOfSize(size_t size) {
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>((i * 7 + (i >> 8) * 13) ^ 0x5A);
    return image;
}

void WriteGroup() {
    const std::wstring flash = TempFile(L"write-flash.bin");
    const std::wstring trace = TempFile(L"write-trace.txt");
    const std::wstring imagePath = TempFile(L"full-image.bin");
    const auto image = ImageOfSize(kFlashSize);
    WriteFileBytes(imagePath, image);
    {
        ToolUnderTest tool(g_exe, L"flash=" + flash + L",trace=" + trace);
        if (!tool.Started()) return;
        HWND dialog = tool.Dialog();
        Check(ChooseImage(tool, imagePath), "the image is chosen in the Open dialog");
        Check(WaitFor([&] { return tool.LogTexts().size() >= 3; }, 10000), "the erase ends");
        CheckTexts(tool, {kPleaseWait, L"Erase Flash Success", L"Open File " + imagePath},
                   "the write run's first lines");
        Check(!ButtonEnabled(tool), "Write Flash stays disabled while the write runs");

        // Closing is refused while the worker runs: every way a user closes the dialog.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_BLOCK, 5000, &ignored);
        SendMessageTimeoutW(dialog, WM_CLOSE, 0, 0, SMTO_BLOCK, 5000, &ignored);
        SendMessageTimeoutW(dialog, WM_COMMAND, IDOK, 0, SMTO_BLOCK, 5000, &ignored);
        SendMessageTimeoutW(dialog, WM_COMMAND, IDCANCEL, 0, SMTO_BLOCK, 5000, &ignored);
        Check(IsWindow(dialog) && !tool.Exited(), "the dialog refuses to close while writing");

        // Get Firmware Version during the write waits 5 s for the device lock, then gives up.
        const double clicked = NowMs();
        tool.Click(1010);
        Check(WaitFor([&] { return tool.LogTexts().size() >= 4; }, 10000), "the busy line comes");
        const double waited = NowMs() - clicked;
        Check(waited >= 4900, "the query waited 5 s for the device lock, not " + std::to_string(waited));
        Check(!tool.LogTexts().empty() && tool.LogTexts()[0] == L"Device is busy",
              "Get Firmware Version during a write logs Device is busy");

        Check(WaitFor([&] { return tool.LogTexts().size() >= 5; }, 30000), "the write ends");
        CheckTexts(tool, {L"Write Flash Success", L"Device is busy", kPleaseWait, L"Erase Flash Success",
                          L"Open File " + imagePath},
                   "a full write run, newest first");
        Check(WaitFor([&] { return ButtonEnabled(tool); }, 5000), "Write Flash is enabled after the run");
        Check(tool.Close(), "the dialog closes once the run has ended");
    }
    const auto bytes = Flash(flash);
    Check(std::memcmp(bytes.data(), image.data(), 0x8000) == 0, "flash 0x0000..0x7FFF holds the image");
    Check(std::memcmp(bytes.data() + 0xB000, image.data() + 0xB000, 0x2800) == 0,
          "flash 0xB000..0xD7FF holds the image");

    // The demo write's length against the protocol's floor: 10 ms + 1000 ms after the erase and
    // 10 ms after each of the 1344 records.
    const auto exchanges = Trace(trace);
    double erase = -1, lastRecord = -1;
    size_t records = 0;
    for (const auto& e : exchanges) {
        if (e.kind != "set") continue;
        if (e.hex.compare(0, 2, "29") == 0 && erase < 0) erase = e.micros;
        if (e.hex.compare(0, 2, "28") == 0) {
            lastRecord = e.micros;
            ++records;
        }
    }
    Check(records == 1344, "a full image is 1344 records, not " + std::to_string(records));
    const double seconds = (lastRecord - erase + 10000.0) / 1e6;
    const double floor = 1.01 + 1344 * 0.010;
    std::printf("demo write: %.3f s for %zu records; floor %.3f s; ratio %.4f\n", seconds, records,
                floor, seconds / floor);
    // Every record waits its 10 ms, so the run is never shorter than the floor. Its length over
    // the floor is reported; the check is on the median gap between records, which preemption on
    // a busy machine does not move, while a pause stretched to the 15.6 ms timer tick does.
    std::vector<double> gaps;
    double previous = -1;
    for (const auto& e : exchanges) {
        if (e.kind != "set" || e.hex.compare(0, 2, "28") != 0) continue;
        if (previous >= 0) gaps.push_back(e.micros - previous);
        previous = e.micros;
    }
    std::sort(gaps.begin(), gaps.end());
    const double median = gaps.empty() ? 0 : gaps[gaps.size() / 2] / 1000.0;
    std::printf("demo write: median gap between records %.3f ms\n", median);
    Check(seconds >= floor * 0.999, "the demo write is not shorter than the floor");
    Check(median >= 10.0 && median <= 10.3, "records follow each other every 10 ms");
}

void ShortImageGroup() {
    const std::wstring flash = TempFile(L"short-flash.bin");
    const std::wstring imagePath = TempFile(L"short-image.bin");
    const auto image = ImageOfSize(0x45);
    WriteFileBytes(imagePath, image);
    {
        ToolUnderTest tool(g_exe, L"flash=" + flash);
        if (!tool.Started()) return;
        ChooseImage(tool, imagePath);
        Check(WaitFor([&] { return tool.LogTexts().size() >= 4; }, 20000), "the short write ends");
        CheckTexts(tool, {L"Write Flash Success", kPleaseWait, L"Erase Flash Success", L"Open File " + imagePath},
                   "a short image is written");
        Check(WaitFor([&] { return ButtonEnabled(tool); }, 5000), "Write Flash is enabled after the run");
    }
    const auto bytes = Flash(flash);
    Check(std::memcmp(bytes.data(), image.data(), image.size()) == 0, "the image's bytes are in flash");
    bool erased = true;
    for (size_t a = image.size(); a < 0x8000; ++a) erased = erased && bytes[a] == 0xFF;
    for (size_t a = 0xB000; a < kFlashSize; ++a) erased = erased && bytes[a] == 0xFF;
    Check(erased, "flash past the image's end reads 0xFF in both windows");
}

void RefusedGroup() {
    const std::wstring trace = TempFile(L"refused-trace.txt");
    const std::wstring imagePath = TempFile(L"refused-image.bin");
    WriteFileBytes(imagePath, ImageOfSize(0x400));
    ToolUnderTest tool(g_exe, L"refuse-at=0x40,trace=" + trace);
    if (!tool.Started()) return;
    ChooseImage(tool, imagePath);
    Check(WaitFor([&] { return tool.LogTexts().size() >= 4; }, 20000), "the refused write ends");
    CheckTexts(tool, {L"Write Flash Fail", kPleaseWait, L"Erase Flash Success", L"Open File " + imagePath},
               "a record the device refuses");
    Check(WaitFor([&] { return ButtonEnabled(tool); }, 5000), "Write Flash is enabled after a failed run");

    // An image that is not a .bin is refused before anything is erased.
    const std::wstring textPath = TempFile(L"not-an-image.txt");
    WriteFileBytes(textPath, ImageOfSize(0x100));
    const size_t erases = CountSets(Trace(trace), "29");
    ChooseImage(tool, textPath);
    Check(WaitFor([&] { return tool.LogTexts().size() >= 6; }, 20000), "the bad image's run ends");
    const auto texts = tool.LogTexts();
    Check(texts.size() >= 6 && texts[0] == L"Write Flash Fail" && texts[1] == L"Open File " + textPath,
          "a bad image logs Write Flash Fail right after its Open File line: " + Join(texts));
    Check(CountSets(Trace(trace), "29") == erases, "a bad image erases nothing");
    Check(WaitFor([&] { return ButtonEnabled(tool); }, 5000), "Write Flash is enabled after a bad image");
}

// A write recorded in the dialog (--record) and replayed in the dialog (--simulate=replay=): the
// same lines, and a replay played to its end lets the program end with 0.
void ReplayGroup() {
    const std::wstring record = TempFile(L"replay-record.txt");
    const std::wstring imagePath = TempFile(L"replay-image.bin");
    WriteFileBytes(imagePath, ImageOfSize(0x100));
    const std::vector<std::wstring> expected{L"Write Flash Fail", kPleaseWait, L"Erase Flash Success",
                                             L"Open File " + imagePath};
    {
        ToolUnderTest tool(g_exe, L"refuse-at=0x80", L"\"--record=" + record + L"\"");
        if (!tool.Started()) return;
        ChooseImage(tool, imagePath);
        Check(WaitFor([&] { return tool.LogTexts().size() >= 4; }, 20000), "the recorded write ends");
        CheckTexts(tool, expected, "the recorded write");
        Check(WaitFor([&] { return ButtonEnabled(tool); }, 5000) && tool.Close(), "the recording dialog closes");
    }
    ToolUnderTest tool(g_exe, L"replay=" + record);
    if (!tool.Started()) return;
    ChooseImage(tool, imagePath);
    Check(WaitFor([&] { return tool.LogTexts().size() >= 4; }, 20000), "the replayed write ends");
    CheckTexts(tool, expected, "the replayed write");
    Check(WaitFor([&] { return ButtonEnabled(tool); }, 5000) && tool.Close(), "the replaying dialog closes");
    Check(tool.ExitCode() == 0, "a replay played to its end exits with 0, not " + std::to_string(tool.ExitCode()));
}

void EraseGroup() {
    {
        ToolUnderTest tool(g_exe, L"");
        if (!tool.Started()) return;
        tool.Click(1003);
        Check(tool.WaitForLogCount(1, 5000), "the erase run starts");
        CheckTexts(tool, {kPleaseWait}, "the erase run's first line");
        Check(!ButtonEnabled(tool), "the erase worker disables Write Flash");
        Check(tool.WaitForLogCount(2, 10000), "the erase run ends");
        CheckTexts(tool, {L"Erase Flash Success", kPleaseWait}, "an erase run");
        Check(WaitFor([&] { return ButtonEnabled(tool); }, 5000), "Write Flash is enabled after the erase");
    }
    ToolUnderTest tool(g_exe, L"refuse-erase");
    if (!tool.Started()) return;
    tool.Click(1003);
    tool.WaitForLogCount(2, 10000);
    CheckTexts(tool, {L"Erase Flash Fail", kPleaseWait}, "an erase the device refuses");
    const std::wstring imagePath = TempFile(L"erase-image.bin");
    WriteFileBytes(imagePath, ImageOfSize(0x100));
    Check(WaitFor([&] { return ButtonEnabled(tool); }, 5000), "Write Flash is enabled again");
    ChooseImage(tool, imagePath);
    tool.WaitForLogCount(4, 10000);
    Check(tool.LogTexts().size() == 4 && tool.LogTexts()[0] == L"Erase Flash Fail",
          "a write run whose erase fails ends there: " + Join(tool.LogTexts()));
    Sleep(300);
    Check(tool.LogTexts().size() == 4, "and writes nothing more");
}

void EventsGroup() {
    const std::wstring trace = TempFile(L"events-trace.txt");
    ToolUnderTest tool(g_exe, L"trace=" + trace);
    if (!tool.Started()) return;
    HWND dialog = tool.Dialog();
    // WM_DEVICE_EVENT as the dialog posts it for CDriver: only a non-zero lParam is shown.
    PostMessageW(dialog, 1237, 0, 1);
    PostMessageW(dialog, 1237, 0, 0);
    PostMessageW(dialog, 1237, 1, 1);
    PostMessageW(dialog, 1237, 1, 0);
    PostMessageW(dialog, 1237, 2, 1);
    tool.WaitForLogCount(2, 5000);
    Sleep(200);
    CheckTexts(tool, {L"Device Remove", L"Device Arrival"}, "WM_DEVICE_EVENT with lParam 1 and 0");

    // The notification window: every other arrival and removal counts, other events do nothing.
    HWND driverWindow = nullptr;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassName(child) == L"PadsmithDriverWindow") driverWindow = child;
    }
    Check(driverWindow != nullptr, "the notification window exists");
    const WPARAM notices[] = {0x8000, 0x8000, 0x0007, 0x8004, 0x8000, 0x8004};
    for (WPARAM notice : notices) SendMessageW(driverWindow, WM_DEVICECHANGE, notice, 0);
    Sleep(300);
    CheckTexts(tool, {L"Device Arrival", L"Device Remove", L"Device Arrival", L"Device Remove", L"Device Arrival"},
               "arrival, arrival, other, removal, arrival, removal");

    // Command 1015: report 02 00 FF 00 FF, and no line.
    const size_t lines = tool.LogLines().size();
    tool.Click(1015);
    Check(WaitFor([&] { return CountSets(Trace(trace), "0200FF00FF") == 1; }, 5000),
          "command 1015 sends report 02 00 FF 00 FF");
    Sleep(200);
    Check(tool.LogLines().size() == lines, "command 1015 logs nothing");

    // Selecting qxtp0001 asks for vendor 0 and product 0: there is none.
    tool.Click(1004, CBN_SELCHANGE);
    tool.WaitForLogCount(lines + 1, 5000);
    Check(!tool.LogTexts().empty() && tool.LogTexts()[0] == L"Select Device Fail",
          "selecting qxtp0001 logs Select Device Fail");

    // Set VID/PID sends on the first in-use table entry, and the table is always empty: it
    // fails and sends nothing.
    tool.Click(1001);
    tool.WaitForLogCount(lines + 2, 10000);
    const std::wstring result = tool.LogTexts().empty() ? L"" : tool.LogTexts()[0];
    Check(result == L"Set VID?PID Fail", "Set VID/PID logs Set VID?PID Fail: " + Narrow(result));
    Check(CountSets(Trace(trace), "08") == 0, "Set VID/PID sends no report 0x08");
}

void BoundGroup() {
    ToolUnderTest tool(g_exe, L"");
    if (!tool.Started()) return;
    // Three erase workers and the UI thread append at the same time.
    for (int i = 0; i < 3; ++i) tool.Click(1003);
    for (int i = 0; i < 60; ++i) PostMessageW(tool.Dialog(), 1237, static_cast<WPARAM>(i % 2), 1);
    Check(WaitFor([&] {
              const auto texts = tool.LogTexts();
              size_t done = 0;
              for (const auto& t : texts) done += (t == L"Erase Flash Success");
              return done == 3;
          }, 20000),
          "three erase runs end");
    Check(WaitFor([&] { return ButtonEnabled(tool); }, 5000), "Write Flash is enabled after the erases");
    const auto texts = tool.LogTexts();
    Check(texts.size() == 51, "the log keeps exactly 51 lines, not " + std::to_string(texts.size()));
    Check(!texts.empty() && texts[0] == L"Erase Flash Success", "the newest line is at the top");
    // 60 device lines and 3 "Please wait" lines came early, the 3 results last: the oldest 15
    // of the early ones are gone, whatever the interleaving.
    size_t early = 0;
    for (const auto& t : texts) early += (t == L"Device Arrival" || t == L"Device Remove" || t == kPleaseWait);
    Check(early == 48, "48 early lines are left, not " + std::to_string(early));
}

// The version resource of PadsmithTool.exe, read as Explorer reads it, against the CMake
// project's version (PADSMITH_PROJECT_VERSION, "1.2.3.4"): the fixed file and product versions,
// and the FileVersion and ProductVersion texts ("1, 2, 3, 4").
void VersionResourceGroup() {
    std::vector<WORD> expected;
    std::istringstream project(PADSMITH_PROJECT_VERSION);
    for (std::string field; std::getline(project, field, '.');) {
        expected.push_back(static_cast<WORD>(std::stoul(field)));
    }
    Check(expected.size() == 4, "the project version has four fields: " PADSMITH_PROJECT_VERSION);
    if (expected.size() != 4) return;
    std::wstring text;
    for (WORD field : expected) text += (text.empty() ? L"" : L", ") + std::to_wstring(field);

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(g_exe.c_str(), &ignored);
    Check(size != 0, "PadsmithTool.exe has a version resource");
    if (size == 0) return;
    std::vector<BYTE> block(size);
    Check(GetFileVersionInfoW(g_exe.c_str(), 0, size, block.data()) != FALSE, "the version resource is read");
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        Check(false, "the version resource has its fixed part");
        return;
    }
    const auto fields = [](DWORD high, DWORD low) {
        return std::vector<WORD>{HIWORD(high), LOWORD(high), HIWORD(low), LOWORD(low)};
    };
    const auto dotted = [](const std::vector<WORD>& v) {
        std::string out;
        for (WORD field : v) out += (out.empty() ? "" : ".") + std::to_string(field);
        return out;
    };
    const auto file = fields(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    const auto product = fields(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
    Check(file == expected, "FILEVERSION is " + dotted(file) + ", the project's " PADSMITH_PROJECT_VERSION);
    Check(product == expected, "PRODUCTVERSION is " + dotted(product) + ", the project's " PADSMITH_PROJECT_VERSION);
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion"}) {
        wchar_t* value = nullptr;
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040903a8\\") + name;
        const bool found = VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) &&
                           value != nullptr;
        const std::wstring got = found ? std::wstring(value) : L"<none>";
        Check(got == text, "the " + Narrow(name) + " text is \"" + Narrow(got) + "\", not \"" + Narrow(text) + "\"");
    }
}

// The system menu, where this system lets another process read it: first as the dialog's own
// (GetSystemMenu), else as the popup that Alt+Space opens (SC_KEYMENU), through MN_GETHMENU.
HMENU ReadableSystemMenu(HWND dialog) {
    HMENU menu = GetSystemMenu(dialog, FALSE);
    if (menu != nullptr && GetMenuItemCount(menu) >= 2) return menu;
    PostMessageW(dialog, WM_SYSCOMMAND, SC_KEYMENU, L' ');
    HWND popup = nullptr;
    WaitFor([&] { return (popup = FindWindowW(L"#32768", nullptr)) != nullptr; }, 3000);
    if (popup == nullptr) return nullptr;
    menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    return menu != nullptr && GetMenuItemCount(menu) >= 2 ? menu : nullptr;
}

void CloseSystemMenu(HWND dialog) {
    if (HWND popup = FindWindowW(L"#32768", nullptr)) PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(dialog, WM_CANCELMODE, 0, 0);
}

// The About item and Close greyed during a run; skipped where the menu cannot be read.
int SystemMenuGroup() {
    ToolUnderTest tool(g_exe, L"");
    if (!tool.Started()) return 1;
    HWND dialog = tool.Dialog();
    HMENU menu = ReadableSystemMenu(dialog);
    if (menu == nullptr) {
        std::printf("skipped: the system menu cannot be read from another process here\n");
        return kSkipped;
    }
    const int items = GetMenuItemCount(menu);
    wchar_t text[128] = {};
    GetMenuStringW(menu, items - 1, text, 128, MF_BYPOSITION);
    Check(GetMenuItemID(menu, items - 1) == 16, "the last system-menu item is command 16");
    Check(std::wstring(text) == L"about PadsmithTool(&A)...", "the About item reads its catalogue text");
    Check((GetMenuState(menu, items - 2, MF_BYPOSITION) & MF_SEPARATOR) != 0,
          "a separator comes before the About item");
    Check((GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED) == 0, "Close is enabled while idle");
    CloseSystemMenu(dialog);
    for (int i = 0; i < 3; ++i) tool.Click(1003);  // about three seconds of erases
    menu = ReadableSystemMenu(dialog);
    Check(menu != nullptr && (GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED) != 0,
          "Close is greyed in the system menu during a run");
    CloseSystemMenu(dialog);
    Check(tool.WaitForLogCount(6, 15000), "the erases end");
    Check(WaitFor([&] {
              HMENU after = ReadableSystemMenu(dialog);
              const bool enabled = after != nullptr && (GetMenuState(after, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED) == 0;
              CloseSystemMenu(dialog);
              return enabled;
          }, 5000),
          "Close comes back when the run ends");
    return 0;
}

// Not a test: docs/screenshot.sh's demo write of IMAGE, chosen in the Open dialog as a user
// would; the tool is then left running with the run's log lines on screen, and the dialog's
// rectangle is printed as "demo-write: done WxH+X+Y" for the picture's crop.
int DemoWrite(const std::wstring& image) {
    ToolUnderTest tool(g_exe, L"");
    if (!tool.Started()) return 1;
    ChooseImage(tool, image);
    Check(WaitFor([&] { return tool.LogTexts().size() >= 4; }, 30000), "the demo write ends");
    CheckTexts(tool, {L"Write Flash Success", kPleaseWait, L"Erase Flash Success", L"Open File " + image},
               "the demo write");
    Check(WaitFor([&] { return ButtonEnabled(tool); }, 5000), "Write Flash is enabled after the run");
    if (Failures() != 0) return 1;
    RECT r;
    GetWindowRect(tool.Dialog(), &r);
    std::printf("demo-write: done %ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
    tool.LeaveRunning();
    return 0;
}

const std::pair<const char*, std::function<void()>> kGroups[] = {
    {"startup", StartupGroup}, {"absent", AbsentGroup},   {"version", VersionGroup},
    {"cancel", CancelGroup},   {"write", WriteGroup},     {"short-image", ShortImageGroup},
    {"refused", RefusedGroup}, {"replay", ReplayGroup},   {"erase", EraseGroup},
    {"events", EventsGroup},
    {"bound", BoundGroup},     {"version-resource", VersionResourceGroup},
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::printf("usage: UiAutomation PadsmithTool.exe GROUP|all\n"
                    "       UiAutomation PadsmithTool.exe demo-write IMAGE\n");
        return 2;
    }
    g_exe = argv[1];
    const std::wstring wanted = argv[2];
    if (wanted == L"demo-write" && argc == 4) {
        const int status = DemoWrite(argv[3]);
        if (status != 0) std::printf("demo-write: failed\n");
        return status;
    }
    bool ran = false;
    for (const auto& [name, group] : kGroups) {
        const std::string groupName = name;
        if (wanted != L"all" && wanted != std::wstring(groupName.begin(), groupName.end())) continue;
        std::printf("== %s\n", name);
        std::fflush(stdout);
        group();
        ran = true;
    }
    if (wanted == L"system-menu") {
        std::printf("== system-menu\n");
        const int status = SystemMenuGroup();
        if (status == kSkipped) return kSkipped;
        ran = true;
    }
    if (!ran) {
        std::printf("no group %s\n", Narrow(wanted).c_str());
        return 2;
    }
    std::printf("%d failure(s)\n", Failures());
    return Failures() == 0 ? 0 : 1;
}
