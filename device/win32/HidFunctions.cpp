#include "device/win32/HidFunctions.h"

#include "base/win32/SystemLibrary.h"

namespace padsmith::win32 {
namespace {

struct SystemHidFunctions : HidFunctions {
    SystemLibrary hid{L"hid.dll"};
    SystemLibrary setupApi{L"setupapi.dll"};

    SystemHidFunctions() {
        hid.Bind("HidD_GetHidGuid", getHidGuid);
        hid.Bind("HidD_GetAttributes", getAttributes);
        hid.Bind("HidD_GetPreparsedData", getPreparsedData);
        hid.Bind("HidD_FreePreparsedData", freePreparsedData);
        hid.Bind("HidP_GetCaps", getCaps);
        hid.Bind("HidD_SetFeature", setFeature);
        hid.Bind("HidD_GetFeature", getFeature);
        hid.Bind("HidD_GetSerialNumberString", getSerialNumberString);
        setupApi.Bind("SetupDiGetClassDevsW", getClassDevs);
        setupApi.Bind("SetupDiEnumDeviceInterfaces", enumInterfaces);
        setupApi.Bind("SetupDiGetDeviceInterfaceDetailW", getInterfaceDetail);
        setupApi.Bind("SetupDiDestroyDeviceInfoList", destroyInfoList);
    }
};

}  // namespace

bool HidFunctions::Complete() const {
    return getHidGuid != nullptr && getAttributes != nullptr && getPreparsedData != nullptr &&
           freePreparsedData != nullptr && getCaps != nullptr && setFeature != nullptr && getFeature != nullptr &&
           getClassDevs != nullptr && enumInterfaces != nullptr && getInterfaceDetail != nullptr &&
           destroyInfoList != nullptr;
}

std::shared_ptr<const HidFunctions> LoadSystemHidFunctions() { return std::make_shared<SystemHidFunctions>(); }

}  // namespace padsmith::win32
