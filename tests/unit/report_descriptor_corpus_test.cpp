// The fuzzer's corpus (tests/fuzz/corpus/), replayed through the parser at every build: each
// file in a heap buffer of exactly its length, so ASan catches a read past its end, and what
// is accepted must hold lengths a report can have.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "device/ReportDescriptor.h"

namespace padsmith {
namespace {

std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void ExpectPlausibleLengths(const std::vector<ReportLength>& reports, const std::string& file) {
    for (const ReportLength& report : reports) {
        const size_t idByte = report.id != 0 ? 1 : 0;
        EXPECT_LE(report.bytes, kMaxReportBytes + idByte) << file;
        EXPECT_GE(report.bytes, idByte) << file;
    }
}

TEST(ReportDescriptorCorpus, EveryFileParsesWithinItsBytes) {
    const std::filesystem::path corpus = PADSMITH_FUZZ_CORPUS;
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator entry(corpus, error), end; !error && entry != end;
         entry.increment(error)) {
        if (entry->is_regular_file()) files.push_back(entry->path());
    }
    if (files.empty()) GTEST_SKIP() << "no corpus files in " << corpus;

    for (const auto& path : files) {
        const std::vector<uint8_t> bytes = FileBytes(path);
        std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), exact.get());
        std::vector<TopLevelCollection> collections;
        if (!ParseReportDescriptor(exact.get(), bytes.size(), collections)) {
            EXPECT_TRUE(collections.empty()) << path;
            continue;
        }
        for (const TopLevelCollection& collection : collections) {
            ExpectPlausibleLengths(collection.input, path.string());
            ExpectPlausibleLengths(collection.output, path.string());
            ExpectPlausibleLengths(collection.feature, path.string());
        }
    }
}

}  // namespace
}  // namespace padsmith
