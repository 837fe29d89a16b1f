// Entry point of PadsmithTool.exe.

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/win32/CPadsmithToolApp.h"

namespace {

// The one application object.
padsmith::win32::CPadsmithToolApp theApp;

std::vector<std::wstring> ProgramArguments() {
    std::vector<std::wstring> arguments;
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
    if (list == nullptr) return arguments;
    for (int i = 1; i < count; ++i) arguments.emplace_back(list[i]);
    LocalFree(list);
    return arguments;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    // Before anything can load a DLL: no DLL is ever taken from the program's folder or the
    // current directory, only from the system directory. Looked up at run time: a Windows 7
    // without its loader update lacks it, and SystemLibrary then loads by full path instead.
    using SetDirectories = BOOL WINAPI(DWORD);
    if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
        auto* set = reinterpret_cast<SetDirectories*>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
        if (set != nullptr) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    theApp.SetArguments(ProgramArguments());
    return theApp.Run(instance);
}
