// Checks of the Windows pieces that need no running tool: the pause, the log's one-step append
// under many threads, the filter text, the icon placement, the command line, SHA-256 through
// BCrypt, our message windows, the HID port's watch, errors and serial numbers, the host's name
// and the run history through the system's winsqlite3.dll.
// Usage: Win32Checks.exe

#include <windows.h>

#include <dbt.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "app/RunResult.h"
#include "app/win32/FileOpenDialog.h"
#include "app/win32/IconPlacement.h"
#include "app/win32/LaunchOptions.h"
#include "app/win32/ListBoxLog.h"
#include "app/win32/PrivateMessages.h"
#include "base/HostName.h"
#include "base/Sha256.h"
#include "base/Utf8.h"
#include "device/win32/DeviceChangeWatch.h"
#include "device/win32/HidFunctions.h"
#include "device/win32/MessageWindow.h"
#include "device/win32/WinClock.h"
#include "device/win32/WinHidPort.h"
#include "tests/ui/ToolUnderTest.h"
#include "history/HistoryStore.h"

using namespace padsmith;
using namespace padsmith::win32;

namespace {

int g_failures = 0;

void Check(bool condition, const char* what) {
    if (condition) return;
    ++g_failures;
    std::printf("FAIL: %s\n", what);
}

void PauseChecks() {
    WinClock clock;
    // Every pause lasts at least what was asked, and a write's 10 ms pauses do not stretch to a
    // timer tick: their mean stays within 1% of 10 ms.
    std::vector<double> lengths;
    for (int i = 0; i < 200; ++i) {
        const Micros start = clock.Now();
        clock.Sleep(Millis(10));
        lengths.push_back(static_cast<double>((clock.Now() - start).count()) / 1000.0);
    }
    double sum = 0;
    for (double l : lengths) sum += l;
    const double mean = sum / static_cast<double>(lengths.size());
    const double shortest = *std::min_element(lengths.begin(), lengths.end());
    std::vector<double> sorted = lengths;
    std::sort(sorted.begin(), sorted.end());
    std::printf("10 ms pause: mean %.3f ms, shortest %.3f ms, median %.3f ms, longest %.3f ms\n", mean, shortest,
                sorted[sorted.size() / 2], sorted.back());
    Check(shortest >= 10.0, "no 10 ms pause ends early");
    // The median, not the mean: on a busy machine a few pauses are stretched by preemption.
    Check(sorted[sorted.size() / 2] < 10.1, "10 ms pauses last 10 ms, not a timer tick");

    // monitor 999999 once returned after 0.6 s: the deadline overflowed.
    Check(WinClock::CounterTicks(Millis(999999000LL), 10000000) == 9999990000000LL,
          "a pause of 999999 s is 999999 s of a 10 MHz counter");
    Check(WinClock::CounterTicks(Micros(1), 3) == 1, "a pause is rounded up to whole ticks");

    const Micros start = clock.Now();
    clock.Sleep(Millis(1000));
    const double second = static_cast<double>((clock.Now() - start).count()) / 1000.0;
    Check(second >= 1000.0 && second < 1005.0, "a 1000 ms pause lasts 1000 ms");
    clock.Sleep(Millis(0));
    clock.Sleep(Millis(-5));  // nothing to wait for: returns at once

    auto event = clock.CreateAutoResetEvent(true);
    Check(event->Wait(Millis(0)), "a signalled event is taken");
    Check(!event->Wait(Millis(0)), "and resets itself");
    const Micros before = clock.Now();
    Check(!event->Wait(Millis(50)), "a timed wait gives up");
    Check(clock.Now() - before >= Micros(45000), "after about its time-out");
    event->Set();
    Check(event->Wait(kInfinite), "an infinite wait takes a signalled event");
}

// A window that routes the append message to the log, as the dialog does.
ListBoxLog* g_log = nullptr;
LRESULT CALLBACK RouterProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kWmAppendLogLine) {
        g_log->OnAppendMessage(lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void LogBoundChecks() {
    WNDCLASSW routerClass{};
    routerClass.lpfnWndProc = RouterProcedure;
    routerClass.hInstance = GetModuleHandleW(nullptr);
    routerClass.lpszClassName = L"LogRouter";
    RegisterClassW(&routerClass);
    HWND router = CreateWindowExW(0, L"LogRouter", L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND list = CreateWindowExW(0, L"ListBox", L"", WS_CHILD | LBS_SORT, 0, 0, 100, 100, router,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    ListBoxLog log;
    log.Attach(router, list);
    g_log = &log;

    // 50 lines stay 50 + 1 without a deletion; the 52nd deletes the oldest.
    for (int i = 0; i < 50; ++i) log.InsertLine(L"line " + std::to_wstring(i));
    Check(SendMessageW(list, LB_GETCOUNT, 0, 0) == 50, "50 lines are kept");
    log.InsertLine(L"A sorts first");
    Check(SendMessageW(list, LB_GETCOUNT, 0, 0) == 51, "the 51st line deletes nothing");
    log.InsertLine(L"z sorts last");
    Check(SendMessageW(list, LB_GETCOUNT, 0, 0) == 51, "from 51 lines on, each append drops one");
    wchar_t text[64] = {};
    SendMessageW(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text));
    Check(std::wstring(text) == L"z sorts last", "the newest line is on top, whatever it sorts as");
    SendMessageW(list, LB_GETTEXT, 50, reinterpret_cast<LPARAM>(text));
    Check(std::wstring(text) == L"line 1", "the oldest line went");

    // Eight threads append at once while this (the UI) thread carries the appends out.
    std::vector<std::thread> threads;
    std::atomic<int> finished{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&log, &finished, t] {
            for (int i = 0; i < 40; ++i) log.InsertLine(L"thread " + std::to_wstring(t));
            ++finished;
        });
    }
    while (finished < 8) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT | QS_SENDMESSAGE);
    }
    for (auto& thread : threads) thread.join();
    Check(SendMessageW(list, LB_GETCOUNT, 0, 0) == 51, "appends from eight threads keep exactly 51 lines");
    DestroyWindow(router);
}

void FilterAndPlacementChecks() {
    const std::wstring filter = FilterFromCatalogueText(L"BIN(*.bin)|*.bin||");
    Check(filter == std::wstring(L"BIN(*.bin)\0*.bin\0\0\0", 19), "the filter's bars become NULs");
    Check(FilterFromCatalogueText(L"").size() == 1, "an empty filter is still ended");
    static_assert(CentredIconOffset(36, 32) == 2, "5 / 2 is 2");
    static_assert(CentredIconOffset(0, 32) == -15, "-31 / 2 is -15, not -16");
    static_assert(CentredIconOffset(33, 32) == 1, "an odd area rounds up");
}

void LaunchChecks() {
    Check(!ParseLaunchArguments({}).simulate, "no argument runs the device");
    PortRequest options = ParseLaunchArguments({L"--simulate"});
    Check(options.simulate && options.simulatorOptions.empty(),
          "--simulate alone runs the simulated device with its defaults");
    options = ParseLaunchArguments({L"--simulate=absent,trace=C:\\t.txt"});
    Check(options.simulatorOptions == "absent,trace=C:\\t.txt", "--simulate=OPTIONS hands the options on");
    // A shortcut's argument or a file dropped on the program is ignored, as it always was.
    options = ParseLaunchArguments({L"C:\\fw.bin", L"--simulated", L"--simulate=absent", L"/x"});
    Check(options.simulate && options.simulatorOptions == "absent", "unknown arguments are ignored");
    Check(!ParseLaunchArguments({L"--simulated"}).simulate, "an unknown argument changes nothing");
    Check(ParseLaunchArguments({L"--record=C:\\r.txt"}).recordFile == "C:\\r.txt",
          "--record=FILE names the record file");
}

void PlatformLibraryChecks() {
    Sha256 sha256;
    const char abc[] = "abc";
    sha256.Update(reinterpret_cast<const uint8_t*>(abc), 3);
    Sha256Digest digest{};
    Check(sha256.Finish(digest) &&
              ToHex(digest) == "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
          "BCrypt's SHA-256 of \"abc\" is the standard's");
    Check(!HostName().empty(), "the host has a name");
}

// Where Windows has winsqlite3.dll (10 and later), a run begun, completed and read back through
// its __stdcall functions; where it has none (7, Wine), the history says so and nothing breaks.
void HistoryChecks() {
    wchar_t temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    const std::string path = ToUtf8(std::wstring(temp, length) + L"padsmith-win32checks-" +
                                    std::to_wstring(GetCurrentProcessId()) + L".sqlite3");
    Error error;
    std::unique_ptr<history::HistoryStore> store = history::HistoryStore::Open(path, history::HistoryOpenOptions{}, error);
    if (store == nullptr) {
        std::printf("history: %s\n", error.message.c_str());
        Check(error.message == "history " + path + ": no SQLite here: winsqlite3.dll is not in the system directory "
                                                   "(Windows 10 and later have it)",
              "without winsqlite3.dll the history says that it has no SQLite");
        return;
    }
    history::RunRecord record = history::StartRunRecord("Win32Checks");
    Check(!store->Begin(record), "a run is begun in the history");
    record.ended = record.started;
    record.result = ResultWord(RunResult::kSuccess);
    record.recordsSent = 1344;
    Check(!store->Complete(record), "a run is completed in the history");
    std::vector<history::RunRecord> kept;
    store->Query(history::HistoryFilter{}, [&kept](const history::RunRecord& one) { kept.push_back(one); });
    Check(kept.size() == 1 && kept[0].id == record.id && kept[0].recordsSent == 1344 && kept[0].result == "success",
          "the history gives back the run as it was recorded");
    store.reset();
    for (const char* suffix : {"", "-wal", "-shm"}) DeleteFileW(FromUtf8(path + suffix).c_str());
}

// A message window that counts what reaches its object.
class ProbeWindow : public MessageWindow {
public:
    bool Create() { return MessageWindow::Create(L"PadsmithProbeWindow", 0, RECT{}, HWND_MESSAGE); }
    int pings = 0;
    bool sawLast = false;

private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_APP) return ++pings;
        sawLast = sawLast || message == WM_NCDESTROY;
        return MessageWindow::WindowProc(message, wParam, lParam);
    }
};

void MessageWindowChecks() {
    // The object is found through a pointer kept in the window: once where the program puts it,
    // once at the top of the address space, where a 64-bit pointer does not fit in 32 bits (Wine
    // keeps the heap and stacks low, so only this placement shows a pointer cut to a LONG).
    void* top = VirtualAlloc(nullptr, sizeof(ProbeWindow), MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN, PAGE_READWRITE);
    Check(top != nullptr && (sizeof(void*) == 4 || reinterpret_cast<UINT_PTR>(top) > 0xFFFFFFFFu),
          "a 64-bit program's object is placed above 4 GiB");
    ProbeWindow here;
    for (ProbeWindow* probe : {&here, top ? new (top) ProbeWindow : nullptr}) {
        if (probe == nullptr) continue;
        Check(probe->Create(), "a message window is made");
        Check(SendMessageW(probe->Handle(), WM_APP, 0, 0) == 1, "a message window's message reaches its object");
        DestroyWindow(probe->Handle());
        Check(probe->sawLast && probe->Handle() == nullptr, "the object sees WM_NCDESTROY and is forgotten after it");
    }
    if (top != nullptr) {
        static_cast<ProbeWindow*>(top)->~ProbeWindow();
        VirtualFree(top, 0, MEM_RELEASE);
    }
}

void PortWatchChecks() {
    WinHidPort port;
    std::atomic<int> arrivals{0};
    std::atomic<int> removals{0};
    Check(port.WatchDeviceChanges([&](DeviceChange change) { ++(change == DeviceChange::kArrival ? arrivals : removals); }),
          "the Windows port registers for HID interface notices");
    // Wine tells of no interface coming or going: the notices are sent to the watch's window as
    // the system would send them.
    HWND watch = FindWindowExW(HWND_MESSAGE, nullptr, DeviceChangeWatch::kWindowClass, nullptr);
    for (WPARAM event : {DBT_DEVICEARRIVAL, DBT_DEVNODES_CHANGED, DBT_DEVICEREMOVECOMPLETE}) {
        SendMessageW(watch, WM_DEVICECHANGE, event, 0);
    }
    Check(arrivals == 1 && removals == 1, "the port's listener hears an arrival and a removal, and nothing else");

    std::atomic<bool> inside{false};
    std::atomic<bool> left{false};
    port.WatchDeviceChanges([&](DeviceChange) {
        inside = true;
        Sleep(200);
        left = true;
    });
    // A notice of an arrival can only be sent, not posted: another thread sends it.
    std::thread sender([watch] { SendMessageW(watch, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0); });
    while (!inside) Sleep(1);
    port.WatchDeviceChanges(nullptr);
    Check(left, "replacing the port's listener waits while the watch's thread is inside it");
    sender.join();
}

DWORD g_setFeatureError = 0;
BOOLEAN NTAPI FailingSetFeature(HANDLE, PVOID, ULONG) {
    SetLastError(g_setFeatureError);
    return FALSE;
}

void PortErrorChecks() {
    // A handle to something that is no HID device: hid.dll's requests on it fail.
    HidInterface file;
    file.path = uitest::TempFile(L"not-a-hid-device");
    uitest::WriteFileBytes(file.path, {0});
    WinHidPort port;
    std::shared_ptr<HidDevice> device = port.Open(file);
    const uint8_t report[38] = {0x28};
    Check(device && !device->SetFeature(report, sizeof report), "a feature report to a plain file fails");
    const std::string message = device ? device->LastError().message : "";
    const std::string named = "HidD_SetFeature report 0x28 on " + ToUtf8(file.path) + ": ";
    Check(message.compare(0, named.size(), named) == 0 && message.size() > named.size(),
          ("the error names the request, the report ID, the path and the system's text: " + message).c_str());
    Error held;
    Check(!port.Open(file, &held) && held.kind == ErrorKind::kHeld &&
              held.message.compare(0, 10, "CreateFile") == 0,
          "an interface already open is held, and the error says CreateFile");

    // The codes hid.dll gives for a stalled report and for a display that left.
    auto system = LoadSystemHidFunctions();
    auto failing = std::make_shared<HidFunctions>(*system);
    failing->setFeature = &FailingSetFeature;
    device.reset();
    device = WinHidPort(failing).Open(file);
    const std::pair<DWORD, ErrorKind> kinds[] = {{ERROR_GEN_FAILURE, ErrorKind::kRefused},
                                                 {ERROR_DEVICE_NOT_CONNECTED, ErrorKind::kGone},
                                                 {ERROR_DEVICE_REMOVED, ErrorKind::kGone},
                                                 {ERROR_BAD_COMMAND, ErrorKind::kGone}};
    for (const auto& [code, kind] : kinds) {
        g_setFeatureError = code;
        Check(device && !device->SetFeature(report, sizeof report) && device->LastError().kind == kind,
              ("error " + std::to_string(code) + " is " + ErrorKindName(kind)).c_str());
    }
}

// One interface, a plain file, behind fake SetupAPI calls; its serial number as the test sets it.
std::wstring g_interfacePath;
std::wstring g_serial;  // what HidD_GetSerialNumberString writes; empty: it fails
HDEVINFO WINAPI OneInterfaceSet(const GUID*, PCWSTR, HWND, DWORD) { return reinterpret_cast<HDEVINFO>(1); }
WINBOOL WINAPI OneInterface(HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD index, PSP_DEVICE_INTERFACE_DATA) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return index == 0;
}
WINBOOL WINAPI OneInterfaceDetail(HDEVINFO, PSP_DEVICE_INTERFACE_DATA, PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                  DWORD size, PDWORD required, PSP_DEVINFO_DATA) {
    const DWORD needed = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) + g_interfacePath.size() * sizeof(wchar_t);
    if (required != nullptr) *required = needed;
    if (detail == nullptr || size < needed) return FALSE;
    std::copy(g_interfacePath.c_str(), g_interfacePath.c_str() + g_interfacePath.size() + 1, detail->DevicePath);
    return TRUE;
}
WINBOOL WINAPI NoInfoList(HDEVINFO) { return TRUE; }
BOOLEAN NTAPI FakeSerialNumber(HANDLE, PVOID buffer, ULONG length) {
    if (g_serial.empty()) return FALSE;
    // As long as the buffer holds, unterminated if it is longer.
    auto* text = static_cast<wchar_t*>(buffer);
    std::fill(text, text + length / sizeof(wchar_t), L'\0');
    std::copy(g_serial.begin(), g_serial.begin() + std::min<size_t>(g_serial.size(), length / sizeof(wchar_t)), text);
    return TRUE;
}

void SerialNumberChecks() {
    g_interfacePath = uitest::TempFile(L"serial-interface");
    uitest::WriteFileBytes(g_interfacePath, {0});
    auto system = LoadSystemHidFunctions();
    auto table = std::make_shared<HidFunctions>(*system);
    table->getClassDevs = &OneInterfaceSet;
    table->enumInterfaces = &OneInterface;
    table->getInterfaceDetail = &OneInterfaceDetail;
    table->destroyInfoList = &NoInfoList;
    table->getSerialNumberString = &FakeSerialNumber;
    const auto serialOf = [&] {
        const std::vector<HidInterface> bus = WinHidPort(table).Enumerate();
        return bus.size() == 1 ? bus[0].serial : std::string("(no single interface)");
    };
    g_serial = L"PS-0042";
    Check(serialOf() == "PS-0042", "an interface carries the serial number hid.dll reads");
    g_serial = std::wstring(300, L'7');
    Check(serialOf() == std::string(127, '7'), "a serial number is read to 127 characters at most");
    g_serial.clear();
    Check(serialOf().empty(), "a serial number hid.dll cannot read is empty");
    table->getSerialNumberString = nullptr;
    g_serial = L"PS-0042";
    Check(serialOf().empty(), "a hid.dll without HidD_GetSerialNumberString still lists the interface");
}

}  // namespace

int wmain() {
    PauseChecks();
    LogBoundChecks();
    FilterAndPlacementChecks();
    LaunchChecks();
    PlatformLibraryChecks();
    MessageWindowChecks();
    PortWatchChecks();
    PortErrorChecks();
    SerialNumberChecks();
    HistoryChecks();
    std::printf("%d failure(s)\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
