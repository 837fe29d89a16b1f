#pragma once
// A DLL loaded from the system directory only, never from the executable's folder or the
// current directory, so a planted copy beside the program is never picked up.

#include <windows.h>

#include <string>

namespace padsmith::win32 {

class SystemLibrary {
public:
    explicit SystemLibrary(const wchar_t* name)
        : m_module(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        // A Windows 7 without its loader update refuses the flag: the full path then.
        if (m_module == nullptr) m_module = LoadFromSystemDirectory(name);
    }
    ~SystemLibrary() {
        if (m_module != nullptr) FreeLibrary(m_module);
    }
    SystemLibrary(const SystemLibrary&) = delete;
    SystemLibrary& operator=(const SystemLibrary&) = delete;

    bool Loaded() const { return m_module != nullptr; }

    // Fills `function` with the export `name`; false when the library or the export is missing.
    template <typename Function>
    bool Bind(const char* name, Function*& function) const {
        function = nullptr;
        if (m_module == nullptr) return false;
        FARPROC address = GetProcAddress(m_module, name);
        if (address == nullptr) return false;
        function = reinterpret_cast<Function*>(reinterpret_cast<void*>(address));
        return true;
    }

private:
    static HMODULE LoadFromSystemDirectory(const wchar_t* name) {
        wchar_t directory[MAX_PATH];
        const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return nullptr;
        std::wstring path(directory, length);
        path += L'\\';
        path += name;
        return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }

    HMODULE m_module;
};

}  // namespace padsmith::win32
