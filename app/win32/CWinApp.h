#pragma once
// The application object of our small dialog framework: one global instance, whose
// InitInstance runs the program. There is no message loop of its own; the main dialog's modal
// loop is the only one.

#include <windows.h>

#include <string>

namespace padsmith::win32 {

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Called once by the entry point; FALSE ends the program (the usual path: the modal run of
    // the main dialog happens inside it). Returns the process exit code.
    int Run(HINSTANCE instance);

protected:
    virtual BOOL InitInstance();
    // Keeps the key under which profile settings would live. Nothing is read or written there:
    // the tool keeps no settings.
    void SetRegistryKey(const wchar_t* key) { m_registryKey = key; }

    int m_exitCode = 0;

private:
    std::wstring m_registryKey;
};

}  // namespace padsmith::win32
