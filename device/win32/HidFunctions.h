#pragma once
// The entry points of hid.dll and setupapi.dll the Windows port uses, bound at run time: hid.dll
// is not a KnownDLL, so linking it through an import library would let a planted copy beside the
// program be loaded. A table of its own can stand in for the system's (the Windows checks give
// the port one).

#include <windows.h>

#include <hidsdi.h>
#include <hidpi.h>
#include <setupapi.h>

#include <memory>

namespace padsmith::win32 {

struct HidFunctions {
    decltype(HidD_GetHidGuid)* getHidGuid = nullptr;
    decltype(HidD_GetAttributes)* getAttributes = nullptr;
    decltype(HidD_GetPreparsedData)* getPreparsedData = nullptr;
    decltype(HidD_FreePreparsedData)* freePreparsedData = nullptr;
    decltype(HidP_GetCaps)* getCaps = nullptr;
    decltype(HidD_SetFeature)* setFeature = nullptr;
    decltype(HidD_GetFeature)* getFeature = nullptr;
    decltype(SetupDiGetClassDevsW)* getClassDevs = nullptr;
    decltype(SetupDiEnumDeviceInterfaces)* enumInterfaces = nullptr;
    decltype(SetupDiGetDeviceInterfaceDetailW)* getInterfaceDetail = nullptr;
    decltype(SetupDiDestroyDeviceInfoList)* destroyInfoList = nullptr;
    // Optional: without it the port works and reads no serial numbers.
    decltype(HidD_GetSerialNumberString)* getSerialNumberString = nullptr;

    // True when every entry point but the optional ones is there.
    bool Complete() const;
};

// hid.dll's and setupapi.dll's, from the system directory only; the libraries stay loaded while
// the table lives. Entry points that are missing stay null.
std::shared_ptr<const HidFunctions> LoadSystemHidFunctions();

}  // namespace padsmith::win32
