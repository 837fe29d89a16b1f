// The release manifest: what padsmith writes it reads back, and it reads nothing else.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "trust/ReleaseManifest.h"

namespace padsmith::test {
namespace {

const char kDigest[] = "7f5d5f0ff106e6d1bce247ffd8e718b9d5abc9d6c6179f4fe47f3735dde15997";

trust::ReleaseManifest Sample() {
    trust::ReleaseManifest manifest;
    manifest.image.fileBytes = 55296;
    EXPECT_TRUE(FromHex(kDigest, manifest.image.sha256));
    manifest.pcbVersions = {0x0A31, 0x0A40};
    manifest.firmwareVersion = 0x01000B00;
    manifest.notAfter = "2027-06-30";
    return manifest;
}

TEST(ReleaseManifest, WhatIsWrittenReadsBackTheSame) {
    const std::string written = trust::WriteReleaseManifest(Sample());
    EXPECT_EQ(written, std::string("{\n"
                                   "  \"format\": \"padsmith-release/1\",\n"
                                   "  \"image\": {\n"
                                   "    \"bytes\": 55296,\n"
                                   "    \"sha256\": \"") + kDigest + "\"\n"
                                   "  },\n"
                                   "  \"vidPid\": \"2A7D:6C21\",\n"
                                   "  \"pcbVersions\": [\n"
                                   "    \"0.10.3.1\",\n"
                                   "    \"0.10.4.0\"\n"
                                   "  ],\n"
                                   "  \"firmwareVersion\": \"1.0.11.0\",\n"
                                   "  \"notAfter\": \"2027-06-30\"\n"
                                   "}\n");
    for (bool dated : {true, false}) {
        trust::ReleaseManifest sample = Sample();
        if (!dated) sample.notAfter.clear();
        sample.vendorId = 0x1234;
        trust::ReleaseManifest read;
        ASSERT_FALSE(trust::ReadReleaseManifest(trust::WriteReleaseManifest(sample), read));
        EXPECT_EQ(read.image.fileBytes, sample.image.fileBytes);
        EXPECT_EQ(read.image.sha256, sample.image.sha256);
        EXPECT_EQ(read.vendorId, 0x1234);
        EXPECT_EQ(read.productId, 0x6C21);
        EXPECT_EQ(read.pcbVersions, sample.pcbVersions);
        EXPECT_EQ(read.firmwareVersion, sample.firmwareVersion);
        EXPECT_EQ(read.notAfter, sample.notAfter);
    }
}

TEST(ReleaseManifest, AnythingElseIsRefusedNamingWhatIsWrong) {
    const std::string sample = trust::WriteReleaseManifest(Sample());
    const auto edited = [&sample](const std::string& from, const std::string& to) {
        std::string text = sample;
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    const std::vector<std::pair<std::string, std::string>> wrong{
        {edited("release/1", "release/2"), "written for a newer padsmith (padsmith-release/2; this padsmith reads"},
        {edited("padsmith-release/1", "other"), "format \"other\" is not padsmith-release/1"},
        {edited("\"format\"", "\"form\""), "no \"format\""},
        {edited("\"vidPid\"", "\"signedBy\": 1, \"vidPid\""), "unknown field \"signedBy\""},
        {edited("\"bytes\"", "\"name\": \"fw.bin\", \"bytes\""), "unknown field \"image.name\""},
        {edited("55296", "-1"), "\"image.bytes\""},
        {edited("55296", "\"55296\""), "\"image.bytes\""},
        {edited("15997", "1599"), "\"image.sha256\""},
        {edited("2A7D:6C21", "2A7D-6C21"), "\"vidPid\""},
        {edited("\"0.10.4.0\"", "\"0.10.16.0\""), "holds \"0.10.16.0\", not a PCB version"},
        {edited("\"0.10.4.0\"", "\"0.10.3.1\""), "twice"},
        {edited("\"0.10.3.1\",\n    \"0.10.4.0\"", ""), "\"pcbVersions\" is not a list"},
        {edited("1.0.11.0", "1.0.11"), "\"firmwareVersion\""},
        {edited("2027-06-30", "2027-02-29"), "\"notAfter\""},
        {edited("\"2027-06-30\"", "null"), "\"notAfter\""},
        {edited("\"vidPid\"", "\"firmwareVersion\": \"1.0.0.0\", \"vidPid\""), "\"firmwareVersion\" is there twice"},
        {edited("55296", "[[55296]]"), "nested deeper"},
        {sample + "x", "not JSON"},
        {"[]", "not a JSON object"},
        {edited("{\n", "{" + std::string(70000, ' ') + "\n"), "longer than"},
    };
    for (const auto& [text, why] : wrong) {
        trust::ReleaseManifest read;
        const Error error = trust::ReadReleaseManifest(text, read);
        EXPECT_EQ(error.kind, ErrorKind::kRejected) << text;
        EXPECT_EQ(error.message.find("manifest: "), 0u) << error.message;
        EXPECT_NE(error.message.find(why), std::string::npos) << error.message << "\nnot: " << why;
    }
}

}  // namespace
}  // namespace padsmith::test
