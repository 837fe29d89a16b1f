// The report descriptor parser: what it reads from the display's descriptor, and what it makes
// of descriptors that are cut short, unbalanced or built to hurt. Every descriptor is parsed
// from a heap buffer of exactly its length, so under ASan a read past the end fails the test.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "device/sim/DisplayDescriptor.h"
#include "device/ReportDescriptor.h"
#include "device/TargetRule.h"

namespace padsmith {

void PrintTo(const TopLevelCollection& collection, std::ostream* out) {
    auto reports = [out](const char* type, const std::vector<ReportLength>& lengths) {
        for (const ReportLength& report : lengths) {
            *out << ' ' << type << ' ' << int{report.id} << ':' << report.bytes;
        }
    };
    *out << std::hex << "{page " << collection.usagePage << " usage " << collection.usage << std::dec;
    reports("input", collection.input);
    reports("output", collection.output);
    reports("feature", collection.feature);
    *out << '}';
}

namespace {

using Bytes = std::vector<uint8_t>;

bool ParseExact(const Bytes& bytes, std::vector<TopLevelCollection>& collections) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    return ParseReportDescriptor(copy.get(), bytes.size(), collections);
}

Bytes Repeated(const Bytes& item, size_t times) {
    Bytes bytes;
    for (size_t i = 0; i < times; ++i) bytes.insert(bytes.end(), item.begin(), item.end());
    return bytes;
}

Bytes Joined(std::initializer_list<Bytes> parts) {
    Bytes bytes;
    for (const Bytes& part : parts) bytes.insert(bytes.end(), part.begin(), part.end());
    return bytes;
}

// The display's descriptor, padded with items of an undefined main tag (ignored) to `size`.
Bytes DisplayDescriptorPaddedTo(size_t size) {
    Bytes bytes = sim::DisplayReportDescriptor();
    bytes.resize(size, 0x00);
    return bytes;
}

TEST(ReportDescriptor, TheDisplaysThreeCollectionsAndOnlyTheServiceOneIsTheTarget) {
    std::vector<TopLevelCollection> collections;
    ASSERT_TRUE(ParseExact(sim::DisplayReportDescriptor(), collections));

    TopLevelCollection mouse{0x01, 0x02, {{0x01, 5}}, {}, {}};
    TopLevelCollection pen{0x0D, 0x02, {{0x07, 8}}, {}, {}};
    TopLevelCollection service{0xFF00, 0x01, {{0x2B, 10}}, {},
                               {{0x28, 38}, {0x29, 5}, {0x2A, 8}, {0x2B, 10}, {0x08, 5}, {0x02, 5}}};
    ASSERT_EQ(collections, (std::vector<TopLevelCollection>{mouse, pen, service}));
    EXPECT_FALSE(IsServiceCollection(collections[0]));
    EXPECT_FALSE(IsServiceCollection(collections[1]));
    EXPECT_TRUE(IsServiceCollection(collections[2]));
}

TEST(ReportDescriptor, WithoutReportIdsALengthIsItsDataBytesRoundedUp) {
    const Bytes descriptor{
        0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,  // Usage Page (0xFF00), Usage (1), Collection
        0x75, 0x03, 0x95, 0x03, 0x81, 0x02,        //   Input: 3 x 3 bits
        0x75, 0x08, 0x96, 0x00, 0x01, 0x91, 0x02,  //   Output: 256 x 8 bits
        0x95, 0x08, 0xB1, 0x02,                    //   Feature: 8 x 8 bits
        0xC0,
    };
    std::vector<TopLevelCollection> collections;
    ASSERT_TRUE(ParseExact(descriptor, collections));
    EXPECT_EQ(collections, (std::vector<TopLevelCollection>{
                               {0xFF00, 0x01, {{0, 2}}, {{0, 256}}, {{0, 8}}}}));
}

TEST(ReportDescriptor, BitsAddUpPerReportIdWithinTheTopLevelCollectionTheyStandIn) {
    const Bytes descriptor{
        0x85, 0x05, 0x75, 0x08, 0x95, 0x02, 0x81, 0x02,  // Input 5 outside any collection
        0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,        // Collection (0xFF00, 1)
        0x95, 0x03, 0xB1, 0x02,                          //   Feature 5: 3 bytes
        0x85, 0x06, 0x95, 0x01, 0xB1, 0x02,              //   Feature 6: 1 byte
        0xA1, 0x02,                                      //   Collection (Logical)
        0x85, 0x05, 0xB1, 0x02,                          //     Feature 5: 1 more byte
        0xC0,                                            //   End Collection
        0xC0,                                            // End Collection
        0x09, 0x02, 0xA1, 0x01,                          // Collection (0xFF00, 2)
        0x95, 0x06, 0xB1, 0x02,                          //   Feature 5 again: 6 bytes
        0xC0,
    };
    std::vector<TopLevelCollection> collections;
    ASSERT_TRUE(ParseExact(descriptor, collections));
    EXPECT_EQ(collections, (std::vector<TopLevelCollection>{
                               {0xFF00, 0x01, {}, {}, {{0x05, 5}, {0x06, 2}}},
                               {0xFF00, 0x02, {}, {}, {{0x05, 7}}},
                           }));
}

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

struct UsageCase {
    const char* name;
    Bytes descriptor;
    uint16_t usagePage;  // of the last top-level collection
    uint16_t usage;
};

void PrintTo(const UsageCase& usageCase, std::ostream* out) { *out << usageCase.name; }

class CollectionUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(CollectionUsage, ComesFromTheStateAtTheCollectionItem) {
    std::vector<TopLevelCollection> collections;
    ASSERT_TRUE(ParseExact(GetParam().descriptor, collections));
    ASSERT_FALSE(collections.empty());
    EXPECT_EQ(collections.back().usagePage, GetParam().usagePage);
    EXPECT_EQ(collections.back().usage, GetParam().usage);
}

INSTANTIATE_TEST_SUITE_P(
    ReportDescriptor, CollectionUsage,
    ::testing::Values(
        // Usage (0x000D:0x0002) under Usage Page (Generic Desktop).
        UsageCase{"AFourByteUsageCarriesItsOwnPage",
                  {0x05, 0x01, 0x0B, 0x02, 0x00, 0x0D, 0x00, 0xA1, 0x01, 0xC0}, 0x0D, 0x02},
        UsageCase{"APageDeclaredAfterTheUsageStillApplies",
                  {0x09, 0x01, 0x06, 0x00, 0xFF, 0xA1, 0x01, 0xC0}, 0xFF00, 0x01},
        UsageCase{"TheFirstUsageCounts", {0x05, 0x01, 0x09, 0x02, 0x09, 0x03, 0xA1, 0x01, 0xC0}, 0x01, 0x02},
        UsageCase{"NoUsageGivesZero", {0x05, 0x01, 0xA1, 0x01, 0xC0}, 0, 0},
        UsageCase{"AUsageEndsWithTheNextMainItem",
                  {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0xC0, 0xA1, 0x01, 0xC0}, 0, 0},
        // Push, Usage Page (Digitizer), Pop: Generic Desktop again.
        UsageCase{"PopRestoresThePage",
                  {0x05, 0x01, 0xA4, 0x05, 0x0D, 0xB4, 0x09, 0x02, 0xA1, 0x01, 0xC0}, 0x01, 0x02},
        UsageCase{"ANestedCollectionsUsageIsNotTheTopLevelOne",
                  {0x05, 0x0D, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x20, 0xA1, 0x00, 0xC0, 0xC0}, 0x0D, 0x02}),
    CaseName<UsageCase>);

TEST(ReportDescriptor, TheServiceCollectionNeedsItsPageAndEachOfItsFeatureReports) {
    std::vector<TopLevelCollection> collections;
    ASSERT_TRUE(ParseExact(sim::ServiceCollection(), collections));
    ASSERT_EQ(collections.size(), 1u);
    const TopLevelCollection service = collections[0];
    ASSERT_TRUE(IsServiceCollection(service));

    auto without = [&](uint8_t id) {
        TopLevelCollection changed = service;
        changed.feature.erase(std::remove_if(changed.feature.begin(), changed.feature.end(),
                                             [id](const ReportLength& r) { return r.id == id; }),
                              changed.feature.end());
        return changed;
    };
    auto resized = [&](uint8_t id, size_t bytes) {
        TopLevelCollection changed = service;
        for (ReportLength& report : changed.feature) {
            if (report.id == id) report.bytes = bytes;
        }
        return changed;
    };
    TopLevelCollection otherPage = service;
    otherPage.usagePage = 0xFF01;
    EXPECT_FALSE(IsServiceCollection(otherPage));
    for (uint8_t id : {0x28, 0x29, 0x2A, 0x2B}) {
        EXPECT_FALSE(IsServiceCollection(without(id))) << int{id};
    }
    EXPECT_FALSE(IsServiceCollection(resized(0x28, 37)));
    EXPECT_FALSE(IsServiceCollection(resized(0x2B, 11)));
    EXPECT_TRUE(IsServiceCollection(without(0x08)));  // not one the tool needs
}

struct DescriptorCase {
    const char* name;
    Bytes descriptor;
    size_t collections;  // when accepted
};

void PrintTo(const DescriptorCase& descriptorCase, std::ostream* out) { *out << descriptorCase.name; }

// Each malformed case has its well-formed neighbour in the table after it, where there is one.
class Malformed : public ::testing::TestWithParam<DescriptorCase> {};

TEST_P(Malformed, IsRejectedAndLeavesNoCollection) {
    std::vector<TopLevelCollection> collections(1);
    EXPECT_FALSE(ParseExact(GetParam().descriptor, collections));
    EXPECT_TRUE(collections.empty());
}

const Bytes kOneCollection{0xA1, 0x01, 0xC0};

INSTANTIATE_TEST_SUITE_P(
    ReportDescriptor, Malformed,
    ::testing::Values(
        DescriptorCase{"Empty", {}, 0},
        DescriptorCase{"LongerThan4096Bytes", DisplayDescriptorPaddedTo(4097), 0},
        DescriptorCase{"TwoByteItemCutInItsData", {0xA1, 0x01, 0xC0, 0x06, 0x00}, 0},
        DescriptorCase{"FourByteItemCutInItsData", {0xA1, 0x01, 0xC0, 0x0B, 0x01, 0x00, 0x00}, 0},
        DescriptorCase{"LongItemCutInItsHeader", {0xA1, 0x01, 0xC0, 0xFE, 0x05}, 0},
        DescriptorCase{"LongItemCutInItsData", {0xA1, 0x01, 0xC0, 0xFE, 0x05, 0x10, 1, 2, 3, 4}, 0},
        DescriptorCase{"EndCollectionWithNoneOpen", {0xA1, 0x01, 0xC0, 0xC0}, 0},
        DescriptorCase{"CollectionLeftOpen", {0xA1, 0x01, 0xA1, 0x00, 0xC0}, 0},
        DescriptorCase{"Nested33Deep", Joined({Repeated({0xA1, 0x00}, 33), Repeated({0xC0}, 33)}), 0},
        DescriptorCase{"PopWithNothingPushed", Joined({kOneCollection, {0xB4}}), 0},
        DescriptorCase{"Pushed5Deep", Joined({kOneCollection, Repeated({0xA4}, 5), Repeated({0xB4}, 5)}), 0},
        DescriptorCase{"PushLeftAtTheEnd", Joined({{0xA4}, kOneCollection}), 0},
        DescriptorCase{"ReportSize257", Joined({kOneCollection, {0x76, 0x01, 0x01}}), 0},
        DescriptorCase{"ReportCount12289", Joined({kOneCollection, {0x96, 0x01, 0x30}}), 0},
        DescriptorCase{"ReportId0", Joined({kOneCollection, {0x85, 0x00}}), 0},
        DescriptorCase{"ReportId256", Joined({kOneCollection, {0x86, 0x00, 0x01}}), 0},
        // 12288 + 4096 bytes of feature report 1.
        DescriptorCase{"Report16384BytesLong",
                       {0xA1, 0x01, 0x85, 0x01, 0x75, 0x08, 0x96, 0x00, 0x30, 0xB1, 0x02,
                        0x96, 0x00, 0x10, 0xB1, 0x02, 0xC0}, 0},
        DescriptorCase{"UndefinedGlobalTag", Joined({kOneCollection, {0xC4}}), 0},
        DescriptorCase{"ReportsWithoutThenWithId",
                       {0xA1, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0x85, 0x01, 0x81, 0x02, 0xC0}, 0},
        // Push, Report ID (1), Input, Pop (back to no ID), Input.
        DescriptorCase{"ReportsWithThenWithoutIdAfterAPop",
                       {0xA1, 0x01, 0x75, 0x08, 0x95, 0x01, 0xA4, 0x85, 0x01, 0x81, 0x02, 0xB4,
                        0x81, 0x02, 0xC0}, 0}),
    CaseName<DescriptorCase>);

class WellFormed : public ::testing::TestWithParam<DescriptorCase> {};

TEST_P(WellFormed, IsAccepted) {
    std::vector<TopLevelCollection> collections;
    EXPECT_TRUE(ParseExact(GetParam().descriptor, collections));
    EXPECT_EQ(collections.size(), GetParam().collections);
}

INSTANTIATE_TEST_SUITE_P(
    ReportDescriptor, WellFormed,
    ::testing::Values(
        DescriptorCase{"Exactly4096Bytes", DisplayDescriptorPaddedTo(4096), 3},
        // A long item whose data reads as Collection, then one with no data: both skipped.
        DescriptorCase{"LongItemsAreSkipped",
                       Joined({{0xFE, 0x02, 0x10, 0xA1, 0x01, 0xFE, 0x00, 0x20}, kOneCollection}), 1},
        // A reserved-type item with four data bytes that read as Collections.
        DescriptorCase{"ReservedItemsAreSkipped",
                       Joined({{0x3F, 0xA1, 0x01, 0xA1, 0x01}, kOneCollection}), 1},
        DescriptorCase{"Nested32Deep", Joined({Repeated({0xA1, 0x00}, 32), Repeated({0xC0}, 32)}), 1},
        DescriptorCase{"Pushed4Deep", Joined({kOneCollection, Repeated({0xA4}, 4), Repeated({0xB4}, 4)}), 1},
        // Report ID (255), Report Size (1) x Report Count (12288), Report Size (256) x 1.
        DescriptorCase{"TheLargestValues",
                       {0xA1, 0x01, 0x85, 0xFF, 0x75, 0x01, 0x96, 0x00, 0x30, 0x81, 0x02,
                        0x76, 0x00, 0x01, 0x95, 0x01, 0x81, 0x02, 0xC0}, 1},
        DescriptorCase{"Report16383BytesLong",
                       {0xA1, 0x01, 0x85, 0x01, 0x75, 0x08, 0x96, 0x00, 0x30, 0xB1, 0x02,
                        0x96, 0xFF, 0x0F, 0xB1, 0x02, 0xC0}, 1},
        DescriptorCase{"OnlyAMainItemOutsideAnyCollection", {0x75, 0x08, 0x95, 0x01, 0x81, 0x02}, 0}),
    CaseName<DescriptorCase>);

// Well-formed cuts are those outside every collection: where one ends, and after the Usage
// Page and Usage items that come before each one.
TEST(ReportDescriptor, EveryCutOfTheDisplaysDescriptorInsideAnItemOrACollectionIsRejected) {
    const Bytes full = sim::DisplayReportDescriptor();
    const size_t mouseEnd = sim::MouseCollection().size();
    const size_t penEnd = mouseEnd + sim::PenCollection().size();
    const std::set<size_t> wellFormed{2,        4,        mouseEnd, mouseEnd + 2, mouseEnd + 4,
                                      penEnd,   penEnd + 3, penEnd + 5, full.size()};
    for (size_t length = 0; length <= full.size(); ++length) {
        std::vector<TopLevelCollection> collections;
        const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_EQ(ParseExact(cut, collections), wellFormed.count(length) == 1) << length;
    }
}

}  // namespace
}  // namespace padsmith
