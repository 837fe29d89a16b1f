#include "cli/ProblemLines.h"

#include <mutex>

#include "base/ShownText.h"

namespace padsmith::cli {
namespace {

// Lines come from any thread (a station's push reports on its own).
std::mutex g_mutex;
std::FILE* g_routed = nullptr;
std::function<void(const std::string&)> g_view;

}  // namespace

void PrintProblem(std::FILE* stream, const std::string& text) {
    const std::string line = "padsmith: " + ShownText(text);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (stream == g_routed && g_view) {
        g_view(line);
        return;
    }
    std::fprintf(stream, "%s\n", line.c_str());
    std::fflush(stream);
}

void PrintDisplayProblems(std::FILE* stream, const DisplayOutcome& outcome, bool named) {
    const std::string display = named ? outcome.port + ": " : "";
    if (outcome.error) PrintProblem(stream, display + outcome.error.message);
    if (outcome.recordLost) PrintProblem(stream, display + outcome.recordLost.message);
}

ProblemRoute::ProblemRoute(std::FILE* stream, std::function<void(const std::string&)> view) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_routed = stream;
    g_view = std::move(view);
}

ProblemRoute::~ProblemRoute() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_routed = nullptr;
    g_view = nullptr;
}

}  // namespace padsmith::cli
