// The simulation option text shared by both front ends and the tests.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "device/sim/SimOptions.h"

namespace padsmith::sim {
namespace {

TEST(SimOptionsTest, ParsesEveryItemInAnyOrder) {
    Result<SimOptions> options = ParseSimOptions(
        "flash=fw.img,no-reply,refuse-at=0x7FE0,absent,info=0102030400af0003,"
        " unplug-after=12 ,refuse-erase,trace=out.txt");
    ASSERT_TRUE(options) << options.error().message;
    EXPECT_EQ(options->info, (std::array<uint8_t, 8>{0x01, 0x02, 0x03, 0x04, 0x00, 0xAF, 0x00, 0x03}));
    EXPECT_TRUE(options->absent);
    EXPECT_TRUE(options->refuseErase);
    EXPECT_TRUE(options->noReply);
    EXPECT_EQ(options->refuseAt, 0x7FE0u);
    EXPECT_EQ(options->unplugAfter, 12);
    EXPECT_EQ(options->traceFile, "out.txt");
    EXPECT_EQ(options->flashFile, "fw.img");

    options = ParseSimOptions("refuse-at=64,refuse-at=45056");
    ASSERT_TRUE(options);
    EXPECT_EQ(options->refuseAt, 0xB000u);  // decimal, and the later item wins

    options = ParseSimOptions("realtime, replay=C:\\s.txt");
    ASSERT_TRUE(options) << options.error().message;
    EXPECT_EQ(options->replayFile, "C:\\s.txt");
    EXPECT_TRUE(options->realtime);
}

TEST(SimOptionsTest, EmptyTextKeepsTheDefaults) {
    Result<SimOptions> options = ParseSimOptions("");
    ASSERT_TRUE(options);
    const SimOptions defaults;
    EXPECT_EQ(options->info, defaults.info);
    EXPECT_FALSE(options->absent || options->refuseErase || options->noReply);
    EXPECT_FALSE(options->refuseAt || options->unplugAfter);
    EXPECT_TRUE(options->traceFile.empty() && options->flashFile.empty());
}

// A rejected text gives no options at all: nothing of it can be applied.
TEST(SimOptionsTest, RejectsMalformedItemsByName) {
    const char* const bad[] = {
        "info=0100",            "info=01000AFF25150A3G", "info=0x01000AFF25150A31",
        "refuse-at=0x7FE1",     "refuse-at=0xD800",      "refuse-at=-32",
        "refuse-at=0x8000",     "refuse-at=0xAFE0",
        "refuse-at=",           "refuse-at=0x",          "refuse-at=99999999999",
        "unplug-after=0",       "unplug-after=x",        "unplug-after=0x10",
        "unplug-after",         "absent=1",              "trace=",
        "flash",                "bogus",                 "Absent",
        "replay=",              "replay=s.txt",          "realtime",  // a replay takes no display's items
        "realtime=1",           "1:replay=s.txt",
    };
    for (const char* item : bad) {
        const Result<SimOptions> options = ParseSimOptions(std::string("no-reply,") + item);
        ASSERT_FALSE(options) << item;
        const Error& error = options.error();
        EXPECT_EQ(error.kind, ErrorKind::kMalformed) << item;
        EXPECT_NE(error.message.find(item), std::string::npos) << error.message;
        EXPECT_EQ(error.message.find('\n'), std::string::npos) << error.message;
    }
    const Result<SimOptions> options = ParseSimOptions("absent,,no-reply");
    ASSERT_FALSE(options);
    EXPECT_FALSE(options.error().message.empty());
}

// The README's table of the simulated displays lists the items the parser takes, in its order,
// each as it is written: a new item or a renamed one cannot go unmentioned.
TEST(SimOptionsTest, TheReadmesTableListsEveryItemOfTheParser) {
    std::ifstream readme(PADSMITH_README);
    ASSERT_TRUE(readme) << PADSMITH_README;
    std::vector<std::string> listed;
    bool inSection = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("## ", 0) == 0) inSection = line == "## The simulated displays";
        if (!inSection || line.rfind("| `", 0) != 0) continue;
        const std::string form = line.substr(3, line.find('`', 3) - 3);
        if (form != "K:ITEM") listed.push_back(form);
    }
    std::vector<std::string> items;
    for (const SimOptionItem& item : SimOptionItems()) {
        items.push_back(item.value != nullptr ? std::string(item.name) + "=" + item.value : item.name);
    }
    EXPECT_EQ(listed, items);
}

}  // namespace
}  // namespace padsmith::sim
