// Text from devices and files as a terminal is given it, and how much room it takes there.

#include <gtest/gtest.h>

#include <string>

#include "base/ShownText.h"
#include "base/TextColumns.h"

namespace padsmith::test {
namespace {

TEST(ShownText, WhatATerminalWouldActOnOrMisreadComesOutAsVisibleEscapes) {
    struct Case {
        const char* what;
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"plain text stays", "1-1.3 SIM01-0001 \\\\?\\hid#x", "1-1.3 SIM01-0001 \\\\?\\hid#x"},
        {"other scripts stay", "Bildschirm \xE8\xA1\xA8\xE7\xA4\xBA", "Bildschirm \xE8\xA1\xA8\xE7\xA4\xBA"},
        {"a serial with a title change and a line break", "NB7315\x1B]0;owned\x07\r\nx",
         "NB7315\\x1B]0;owned\\x07\\x0D\\x0Ax"},
        {"HID_PHYS: clear the screen, fill the clipboard", "usb-\x1B[2J\x1B]52;c;cm0gLXJmIH4=\x1B\\/input0",
         "usb-\\x1B[2J\\x1B]52;c;cm0gLXJmIH4=\\x1B\\/input0"},
        {"DEL, and C1's CSI as UTF-8", "a\x7F\xC2\x9B" "31m", "a\\x7F\\x9B31m"},
        {"a bidi override and an isolate", "fw-\xE2\x80\xAEnib.exe\xE2\x81\xA6", "fw-\\u{202E}nib.exe\\u{2066}"},
        {"a line separator", "a\xE2\x80\xA8" "b", "a\\u{2028}b"},
        {"bytes that are not UTF-8, a sequence cut short", "\xFF\xFE-\xE2\x80", "\\xFF\\xFE-\\xE2\\x80"},
        {"an encoded surrogate", "\xED\xA0\x80", "\\xED\\xA0\\x80"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShownText(c.text), c.shown) << c.what;
        EXPECT_EQ(ShownText(c.shown), c.shown) << c.what << ": shown twice, shown the same";
    }
}

TEST(TextColumns, ALineIsCutToTheColumnsItTakesNotToItsBytes) {
    struct Case {
        std::string text;
        int columns;
        std::string fitted;
    };
    const Case cases[] = {
        {"1-1.3  done", 11, "1-1.3  done"},
        {"1-1.3  failed: write record", 12, "1-1.3  fa..."},
        {"\xC3\xA9t\xC3\xA9 d\xC3\xA9j\xC3\xA0", 9, "\xC3\xA9t\xC3\xA9 d\xC3\xA9j\xC3\xA0"},  // 2 bytes, 1 column each
        {"e\xCC\x81" "e\xCC\x81" "e\xCC\x81", 3, "e\xCC\x81" "e\xCC\x81" "e\xCC\x81"},  // combining marks take none
        {"\xE8\xA1\xA8\xE7\xA4\xBA\xE8\xA1\xA8\xE7\xA4\xBA", 6, "\xE8\xA1\xA8..."},  // wide: two each, never halved
        {"abcdef", 3, "abc"},
    };
    for (const Case& c : cases) {
        const std::string fitted = FitToColumns(c.text, c.columns);
        EXPECT_EQ(fitted, c.fitted) << c.text;
        EXPECT_LE(TextColumns(fitted), c.columns) << c.text;
    }
}

}  // namespace
}  // namespace padsmith::test
