#pragma once
// The application object of our small dialog framework: one global instance, whose
// InitInstance runs the program. There is no message loop of its own; the main dialog's modal
// loop is the only one.

#include <windows.h>

#include <string>

namespace padsmith::win32 {

class CDialog;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The one application object (null before it is constructed).
    static CWinApp* Current();

    // Called once by the entry point; FALSE ends the program (the usual path: the modal run of
    // the main dialog happens inside it). Returns the process exit code.
    int Run(HINSTANCE instance);

    HINSTANCE Instance() const { return m_hInstance; }
    const std::wstring& RegistryKey() const { return m_registryKey; }

protected:
    virtual BOOL InitInstance();
    // Keeps the key under which profile settings would live. Nothing is read or written there:
    // the tool keeps no settings.
    void SetRegistryKey(const wchar_t* key) { m_registryKey = key; }

    CDialog* m_pMainWnd = nullptr;
    int m_exitCode = 0;

private:
    HINSTANCE m_hInstance = nullptr;
    std::wstring m_registryKey;
};

}  // namespace padsmith::win32
