#pragma once
// The application object: prepares the common controls, picks the device port (the real HID
// port, or the simulated device in demo mode) and runs the main dialog once.

#include <string>
#include <vector>

#include "app/win32/CWinApp.h"

namespace padsmith::win32 {

class CPadsmithToolApp : public CWinApp {
public:
    // The key the framework would keep profile settings under; the tool keeps none.
    static constexpr wchar_t kRegistryKey[] = L"应用程序向导生成的本地应用程序";

    void SetArguments(std::vector<std::wstring> arguments) { m_arguments = std::move(arguments); }

protected:
    BOOL InitInstance() override;

private:
    std::vector<std::wstring> m_arguments;
};

}  // namespace padsmith::win32
