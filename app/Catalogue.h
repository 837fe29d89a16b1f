#pragma once
// The message catalogue: looked up by its 16-bit ID at every use. The Windows program reads its
// string table (LoadStringW); elsewhere the built-in copy of the same source answers.

#include <cstdint>
#include <string>

namespace padsmith {

enum MessageId : uint16_t {
    kMsgAboutItem = 101,
    kMsgSetVidPidSuccess = 102,
    kMsgSetVidPidFail = 103,
    kMsgEraseSuccess = 104,
    kMsgEraseFail = 105,
    kMsgWriteSuccess = 106,
    kMsgWriteFail = 107,
    kMsgSelectSuccess = 108,
    kMsgSelectFail = 109,
    kMsgVersionLine = 110,
    kMsgVersionFail = 111,
    kMsgPleaseWait = 112,
    kMsgSizeLine = 113,
    kMsgCancel = 114,
    kMsgBusy = 115,
    kMsgDeviceArrival = 121,
    kMsgDeviceRemove = 122,
    kMsgLoadDriverFail = 123,
    kMsgFileFilter = 131,
    kMsgOpenFile = 132,
    kMsgTitle = 141,
    kMsgDeviceListCaption = 142,
    kMsgTipsCaption = 143,
    kMsgFlashCaption = 144,
    kMsgWriteFlashCaption = 145,
    kMsgEraseFlashCaption = 146,
    kMsgGetVersionCaption = 147,
    kMsgTipsLine = 148,
};

// The built-in copy; the empty text for an ID without an entry.
const wchar_t* BuiltInMessageText(uint16_t id);

// Where LoadMessage looks: the built-in copy unless the program installs another loader.
using MessageLoader = std::wstring (*)(uint16_t id);
void SetMessageLoader(MessageLoader loader);

// The catalogue text of `id`; the empty text when there is no entry.
std::wstring LoadMessage(uint16_t id);

// Replaces "%1" and "%2" in `pattern` by `first` and `second`; every other character is copied
// and the inserted texts are not scanned again.
std::wstring InsertTexts(const std::wstring& pattern, const std::wstring& first,
                         const std::wstring& second = std::wstring());

// The catalogue entry `id` with its placeholders filled; the empty text when there is no entry.
std::wstring FormatMessageEntry(uint16_t id, const std::wstring& first,
                                const std::wstring& second = std::wstring());

}  // namespace padsmith
