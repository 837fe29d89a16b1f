// The files the simulated device keeps: the trace of every report and the flash between runs.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/VirtualClock.h"
#include "device/sim/SimFlashFile.h"
#include "device/sim/SimHidPort.h"
#include "device/sim/SimInterfaces.h"

namespace padsmith::sim {
namespace {

// A file name of this test's own in the temporary folder (several builds may run the suite at
// once), removed before and after.
class TempFile {
public:
    explicit TempFile(const std::string& tag) {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = (std::filesystem::temp_directory_path() /
                  ("padsmith_" + std::string(test->name()) + "_" +
                   std::to_string(std::random_device()()) + "_" + tag))
                     .string();
        std::filesystem::remove(m_path);
    }
    ~TempFile() { std::filesystem::remove(m_path); }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

std::vector<uint8_t> Bytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> chars((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return std::vector<uint8_t>(chars.begin(), chars.end());
}

// A device with files, built as the front ends build it.
std::unique_ptr<SimHidPort> Made(Clock& clock, const SimOptions& options) {
    Result<std::unique_ptr<SimHidPort>> port = SimHidPort::Create(clock, options);
    EXPECT_TRUE(port) << port.error().message;
    return port ? std::move(*port) : nullptr;
}

// The error a device with files gives instead of being built.
std::string Refused(Clock& clock, const SimOptions& options) {
    const Result<std::unique_ptr<SimHidPort>> port = SimHidPort::Create(clock, options);
    EXPECT_FALSE(port);
    EXPECT_FALSE(port.error().message.empty());
    return port.error().message;
}

std::shared_ptr<HidDevice> Open(SimHidPort& port, int index) {
    const std::vector<HidInterface> bus = port.Enumerate();
    return index < static_cast<int>(bus.size()) ? port.Open(bus[static_cast<size_t>(index)]) : nullptr;
}

TEST(SimFilesTest, TraceHasOneLinePerReportAndIsAppended) {
    TempFile trace("trace.txt");
    VirtualClock clock;
    SimOptions options;
    options.traceFile = trace.Path();
    options.info = {0x01, 0x00, 0x0A, 0xFF, 0x25, 0x15, 0x0A, 0x31};
    {
        auto made = Made(clock, options);
        SimHidPort& port = *made;
        auto service = Open(port, 2);
        const std::array<uint8_t, 5> erase{0x29, 0x45, 0x72, 0x61, 0x73};
        ASSERT_TRUE(service->SetFeature(erase.data(), erase.size()));
        clock.Sleep(Millis(10));
        std::vector<uint8_t> record(38, 0xAB);
        EXPECT_FALSE(service->SetFeature(record.data(), record.size()));
        std::array<uint8_t, 10> reply{0x2B};
        ASSERT_TRUE(service->GetFeature(reply.data(), reply.size()));
        std::array<uint8_t, 10> wrong{0x2C};
        EXPECT_FALSE(service->GetFeature(wrong.data(), wrong.size()));
        clock.Advance(Micros(1'234));
        port.SendInputReport();

        // Readable while the port is still alive, once flushed.
        port.FlushTrace();
        const auto lines = Lines(trace.Path());
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[0], "0 set 2945726173");
        std::string refused = "10000 set-refused ";
        for (int i = 0; i < 38; ++i) refused += "AB";
        EXPECT_EQ(lines[1], refused);
        EXPECT_EQ(lines[2], "10000 get 2B000000000000000000 2B0001000AFF25150A31");
        EXPECT_EQ(lines[3], "10000 get-failed 2C000000000000000000");
        EXPECT_EQ(lines[4], "11234 input 2B0001000AFF25150A31");
        EXPECT_EQ(port.Reports().size(), 5u);
    }
    Made(clock, options)->SendInputReport();
    const auto lines = Lines(trace.Path());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[5], "11234 input 2B0001000AFF25150A31");
}

TEST(SimFilesTest, FlashFileStartsAsFactoryFirmwareAndCarriesWritesToTheNextRun) {
    TempFile flash("flash.bin");
    VirtualClock clock;
    SimOptions options;
    options.flashFile = flash.Path();
    std::vector<uint8_t> record{0x28, 0x51, 0x58, 0x57, 0x20, 0xB0};
    record.resize(38, 0x00);
    {
        auto made = Made(clock, options);
        SimHidPort& port = *made;
        EXPECT_EQ(port.Flash(), FactoryFlash());
        EXPECT_FALSE(std::filesystem::exists(flash.Path()));  // saved at exit, not before
        ASSERT_TRUE(Open(port, 2)->SetFeature(record.data(), record.size()));
    }
    auto saved = Bytes(flash.Path());
    ASSERT_EQ(saved.size(), kFlashSize);
    auto expected = FactoryFlash();
    std::fill(expected.begin() + 0xB020, expected.begin() + 0xB040, uint8_t{0});
    EXPECT_EQ(saved, expected);
    for (uint32_t address = 0; address < kFlashSize; ++address) {
        ASSERT_NE(FactoryFlashByte(address), 0xFF) << address;
    }

    auto again = Made(clock, options);
    EXPECT_EQ(again->Flash(), expected);
    const Error savedAgain = again->SaveFlash();
    EXPECT_FALSE(savedAgain) << savedAgain.message;

    SimHidPort withoutFile(clock, {});
    EXPECT_FALSE(withoutFile.SaveFlash().message.empty());
}

TEST(SimFilesTest, FlashFileOfTheWrongSizeIsRefusedAndKept) {
    TempFile flash("flash.bin");
    {
        std::ofstream file(flash.Path(), std::ios::binary);
        file << std::string(kFlashSize - 1, 'x');
    }
    VirtualClock clock;
    SimOptions options;
    options.flashFile = flash.Path();
    const std::string error = Refused(clock, options);
    EXPECT_NE(error.find(flash.Path()), std::string::npos) << error;
    EXPECT_EQ(Bytes(flash.Path()).size(), kFlashSize - 1);  // not overwritten

#ifndef _WIN32
    // A FIFO is refused at once instead of waiting for a writer.
    const std::string fifo = flash.Path() + ".fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    options.flashFile = fifo;
    Refused(clock, options);
    std::filesystem::remove(fifo);
#endif

    // A save that fails says so and leaves what was there.
    const std::filesystem::path folder = flash.Path() + ".folder";
    std::filesystem::create_directories(folder / "inside");
    EXPECT_FALSE(SaveFlashFile(folder.string(), FactoryFlash()).message.empty());
    EXPECT_TRUE(std::filesystem::exists(folder / "inside"));
    EXPECT_FALSE(std::filesystem::exists(folder.string() + ".saving"));
#ifndef _WIN32
    EXPECT_TRUE(SaveFlashFile("/dev/null", FactoryFlash()));  // never replaced by a file
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
#endif
    std::filesystem::remove_all(folder);

    options.flashFile.clear();
    options.traceFile = (std::filesystem::temp_directory_path() / "no such folder" / "t.txt").string();
    Refused(clock, options);
}

TEST(SimFilesTest, TheWriterFlushesTraceLinesUnasked) {
    TempFile trace("trace-writer.txt");
    VirtualClock clock;
    SimOptions options;
    options.traceFile = trace.Path();
    auto port = Made(clock, options);
    port->SendInputReport();
    size_t lines = 0;
    for (int i = 0; i < 200 && lines == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        lines = Lines(trace.Path()).size();
    }
    EXPECT_EQ(lines, 1u);
}

}  // namespace
}  // namespace padsmith::sim
