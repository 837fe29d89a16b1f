#include "bench/LineWebBench.h"

#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/StationPorts.h"
#include "bench/Measure.h"
#include "bench/StationLineBench.h"
#include "cli/StationWeb.h"

extern char** environ;

namespace padsmith::bench {
namespace {

constexpr double kSwapSeconds = 3.0;
constexpr auto kPageEvery = std::chrono::milliseconds(250);
constexpr int kScrapeConnections = 4;
constexpr int kScrapeGapMs = 10;  // per connection: 400 scrapes a second, Prometheus makes one in 15 s
constexpr int kRounds = 2;

// A program in the background, its output to `output`; 0 when it could not start.
pid_t Spawn(const std::vector<std::string>& args, const std::string& output) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : 0;
}

void Stop(pid_t pid) {
    if (pid == 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(share * static_cast<double>(values.size())))];
}

}  // namespace

namespace {

struct WebRun {
    LineFigures line;
    std::string requests = "?";  // wrk's requests a second
    std::string p99 = "?";       // and its 99th percentile
    double othersCpu = 0;        // the browser's and wrk's
    std::vector<double> pageMs;
    std::vector<double> metricsMs;
};

// wrk's figure after `label`, from its output.
std::string WrkFigure(const std::string& output, const std::string& label) {
    const size_t at = output.find(label);
    if (at == std::string::npos) return "?";
    std::string figure = output.substr(at + label.size(), output.find('\n', at) - at - label.size());
    figure.erase(0, figure.find_first_not_of(' '));
    return figure;
}

bool RunWithWeb(int ports, int turns, const VerifiedImage& image, const std::filesystem::path& folder, WebRun& run) {
    SteadyClock clock;
    StationPorts model(clock);
    cli::StationFeed feed(model, clock, cli::Json::object());
    cli::StationMetrics metrics(model, "bench", nullptr);
    cli::StationWebSettings settings;
    settings.address = {"127.0.0.1", 0};
    auto web = cli::StartStationWeb(settings, cli::StationWebSources{feed, metrics, nullptr});
    if (!web) {
        std::printf("line with its web view: %s\n", web.error().message.c_str());
        return false;
    }
    const std::string address = "http://127.0.0.1:" + std::to_string((*web)->Port());
    const double childrenCpu = ChildrenCpuSeconds();
    // The page open in a browser for the whole line, and /metrics scraped by wrk on a few
    // connections, each waiting kScrapeGapMs between its requests, for as long as the line takes.
    const int seconds = static_cast<int>(turns * (kFloorSeconds + kSwapSeconds)) + 5;
    const pid_t browser = Spawn({"/usr/bin/chromium", "--headless=new", "--no-sandbox", "--disable-gpu",
                                 "--no-first-run", "--disable-background-networking", "--disable-component-update",
                                 "--disable-sync", "--user-data-dir=" + (folder / "browser").string(),
                                 "--remote-debugging-port=0", address + "/"},
                                (folder / "browser.txt").string());
    const pid_t scraper = Spawn({"/usr/bin/wrk", "-t1", "-c" + std::to_string(kScrapeConnections),
                                 "-d" + std::to_string(seconds) + "s", "-s", (folder / "gap.lua").string(), "--latency",
                                 address + "/metrics"},
                                (folder / "wrk.txt").string());
    // The page's own latency, as a person reloading it would see it, beside the load.
    std::atomic<bool> sampling{true};
    std::thread sampler([&] {
        httplib::Client client("127.0.0.1", (*web)->Port());
        while (sampling) {
            for (auto* samples : {&run.pageMs, &run.metricsMs}) {
                const auto start = std::chrono::steady_clock::now();
                const auto answer = client.Get(samples == &run.pageMs ? "/" : "/metrics");
                if (answer && answer->status == 200) {
                    samples->push_back(Seconds(std::chrono::steady_clock::now() - start) * 1e3);
                }
            }
            std::this_thread::sleep_for(kPageEvery);
        }
    });
    RunFanOut views;
    views.Add(model);
    views.Add(feed);
    run.line = RunLine(ports, turns, kSwapSeconds, image, clock, &views);
    sampling = false;
    sampler.join();
    kill(scraper, SIGINT);  // wrk prints its figures when interrupted
    waitpid(scraper, nullptr, 0);
    Stop(browser);
    run.othersCpu = ChildrenCpuSeconds() - childrenCpu;
    web->reset();
    std::ifstream wrkOutput(folder / "wrk.txt");
    std::stringstream wrk;
    wrk << wrkOutput.rdbuf();
    run.requests = WrkFigure(wrk.str(), "Requests/sec:");
    run.p99 = WrkFigure(wrk.str(), "99%");
    return true;
}

}  // namespace

bool MeasureLineWeb(int ports, int turns, const VerifiedImage& image) {
    for (const char* program : {"/usr/bin/chromium", "/usr/bin/wrk"}) {
        if (access(program, X_OK) != 0) {
            std::printf("line with its web view: %s is missing (scripts/setup-debian.sh --tests)\n", program);
            return false;
        }
    }
    const auto folder = std::filesystem::temp_directory_path() / ("padsmith-line-web-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "gap.lua") << "function delay() return " << kScrapeGapMs << " end\n";
    // Without, with, without, with: a machine whose load drifts weighs on both alike.
    bool ok = true;
    double plainPerHour = 0;
    double webPerHour = 0;
    for (int round = 0; round < kRounds; ++round) {
        SteadyClock plainClock;
        const LineFigures plain = RunLine(ports, turns, kSwapSeconds, image, plainClock);
        std::printf("line of %d ports, %d turns, %.0f s swap, without the web view: %.1f displays per hour, %.4f of "
                    "the ideal %.0f; CPU %.3f%% of wall time per port%s\n",
                    ports, turns, kSwapSeconds, plain.perHour, plain.perHour / plain.ideal, plain.ideal,
                    plain.cpuPerPort, plain.ok ? "" : "  NOT ALL WRITTEN");
        WebRun run;
        if (!RunWithWeb(ports, turns, image, folder, run)) return false;
        const LineFigures& served = run.line;
        std::printf("  with its page open in Chromium and /metrics scraped by wrk (%d connections, %d ms apart): "
                    "%.1f displays per hour, %.4f of the ideal, %.4f of the run before (%+.2f%%); CPU %.3f%% of wall "
                    "time per port%s\n",
                    kScrapeConnections, kScrapeGapMs, served.perHour, served.perHour / served.ideal,
                    served.perHour / plain.perHour, (served.perHour / plain.perHour - 1) * 100, served.cpuPerPort,
                    served.ok ? "" : "  NOT ALL WRITTEN");
        std::printf("  /metrics under wrk: %s requests a second, 99th percentile %s; the browser and wrk: %.1f s CPU; "
                    "the page beside them: median %.2f ms, 99th percentile %.2f ms (%zu loads); /metrics %.2f ms, "
                    "%.2f ms\n",
                    run.requests.c_str(), run.p99.c_str(), run.othersCpu, Percentile(run.pageMs, 0.5),
                    Percentile(run.pageMs, 0.99), run.pageMs.size(), Percentile(run.metricsMs, 0.5),
                    Percentile(run.metricsMs, 0.99));
        plainPerHour += plain.perHour;
        webPerHour += served.perHour;
        ok = ok && plain.ok && served.ok;
    }
    std::printf("line of %d ports over %d rounds: %.1f displays per hour with the web view against %.1f without: "
                "%.4f (%+.2f%%)\n",
                ports, kRounds, webPerHour / kRounds, plainPerHour / kRounds, webPerHour / plainPerHour,
                (webPerHour / plainPerHour - 1) * 100);
    std::filesystem::remove_all(folder);
    return ok;
}

}  // namespace padsmith::bench
