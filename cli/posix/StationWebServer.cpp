// The station's web view over cpp-httplib (Debian's libcpp-httplib): a thread that accepts, and
// a fixed pool of threads that serve. An event stream holds one of the pool's threads while it is
// open, so at most StationFeed::kMostReaders streams are taken (more get 503) and the rest of the
// pool stays free for the pages, the history and /metrics. A client that sends or takes nothing
// for kTimeout is dropped.

#include <httplib.h>

#include <chrono>
#include <thread>

#include "cli/StationWeb.h"
#include "cli/WebAssets.h"

namespace padsmith::cli {
namespace {

constexpr size_t kServingThreads = StationFeed::kMostReaders + 4;
constexpr time_t kTimeoutSeconds = 5;
constexpr auto kEventWait = std::chrono::milliseconds(1000);
// A comment line after this long without an event keeps proxies and browsers from closing it.
constexpr auto kKeepAliveEvery = std::chrono::seconds(15);

const httplib::Headers& SecurityHeaders() {
    static const httplib::Headers headers{
        {"Content-Security-Policy",
         "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; img-src 'self'; "
         "base-uri 'none'; form-action 'self'; frame-ancestors 'none'"},
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
        {"Cache-Control", "no-store"},
    };
    return headers;
}

// The host a request named, without its port: "127.0.0.1", "::1", "station.line".
std::string HostOf(const std::string& header) {
    if (!header.empty() && header.front() == '[') return header.substr(1, header.find(']') - 1);
    return header.substr(0, header.find(':'));
}

class HttpStationWeb : public StationWeb {
public:
    HttpStationWeb(const StationWebSettings& settings, StationWebSources sources)
        : m_settings(settings), m_sources(sources) {
        m_server.new_task_queue = [] { return new httplib::ThreadPool(kServingThreads); };
        m_server.set_read_timeout(kTimeoutSeconds, 0);
        m_server.set_write_timeout(kTimeoutSeconds, 0);
        m_server.set_keep_alive_timeout(kTimeoutSeconds);
        m_server.set_payload_max_length(0);  // no request has a body to take
        m_server.set_tcp_nodelay(true);      // an event goes out as it comes, not 40 ms later
        m_server.set_default_headers(SecurityHeaders());
        m_server.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
            return Admit(request, response) ? httplib::Server::HandlerResponse::Unhandled
                                            : httplib::Server::HandlerResponse::Handled;
        });
        for (const WebAsset& asset : WebAssets()) {
            m_server.Get(asset.path, [&asset](const httplib::Request&, httplib::Response& response) {
                response.set_content(asset.body, asset.type);
            });
        }
        // A browser asks for an icon; there is none.
        m_server.Get("/favicon.ico", [](const httplib::Request&, httplib::Response& response) { response.status = 204; });
        m_server.Get("/events", [this](const httplib::Request&, httplib::Response& response) { Events(response); });
        m_server.Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content(m_sources.metrics.Text(), "text/plain; version=0.0.4; charset=utf-8");
        });
        m_server.Get("/api/history", [this](const httplib::Request& request, httplib::Response& response) {
            std::map<std::string, std::string> query(request.params.begin(), request.params.end());
            int status = 200;
            const Json answer = HistoryAnswer(m_sources.history, query, status);
            response.status = status;
            response.set_content(answer.dump(-1, ' ', false, Json::error_handler_t::replace), "application/json");
        });
    }

    ~HttpStationWeb() override {
        m_sources.feed.Close();  // the streams end first: their threads are the pool's
        m_server.stop();
        if (m_thread.joinable()) m_thread.join();
    }

    Error Listen() {
        const ListenAddress& address = m_settings.address;
        m_port = address.port;
        const bool bound = address.port == 0 ? (m_port = m_server.bind_to_any_port(address.host)) > 0
                                             : m_server.bind_to_port(address.host, address.port);
        if (!bound) {
            return Error(ErrorKind::kIo, "--listen " + address.host + ":" + std::to_string(address.port) +
                                             ": cannot listen there (in use, or not an address of this machine)");
        }
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // Until it runs, a stop would not reach it.
        while (!m_server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return Error();
    }

    int Port() const override { return m_port; }

private:
    // Read-only, for those who may read: false with the response made when refused.
    bool Admit(const httplib::Request& request, httplib::Response& response) const {
        if (request.method != "GET" && request.method != "HEAD") {
            response.status = 405;
            response.set_header("Allow", "GET, HEAD");
            return false;
        }
        const bool asset = request.path.find("/api/") != 0 && request.path != "/events" && request.path != "/metrics";
        if (m_settings.token.empty()) {
            // Loopback only: a page of another site that a browser was led to this address (a
            // name rebound to 127.0.0.1) names another host, and is refused.
            if (!IsLoopbackHost(HostOf(request.get_header_value("Host")))) {
                response.status = 403;
                response.set_content("a station on loopback answers loopback names only\n", "text/plain");
                return false;
            }
        } else if (!asset && !BearerTokenMatches(request.get_header_value("Authorization"), m_settings.token)) {
            response.status = 401;
            response.set_header("WWW-Authenticate", "Bearer");
            response.set_content("this station's data needs its token: Authorization: Bearer TOKEN\n", "text/plain");
            return false;
        }
        return true;
    }

    void Events(httplib::Response& response) {
        std::shared_ptr<StationFeed::Reader> reader = m_sources.feed.Subscribe();
        if (!reader) {
            response.status = 503;
            response.set_header("Retry-After", "5");
            response.set_content("too many event streams open\n", "text/plain");
            return;
        }
        StationFeed& feed = m_sources.feed;
        auto quiet = std::make_shared<std::chrono::steady_clock::time_point>(std::chrono::steady_clock::now());
        response.set_chunked_content_provider(
            "text/event-stream",
            [&feed, reader, quiet](size_t, httplib::DataSink& sink) {
                const StationFeed::Next next = feed.Take(*reader, kEventWait);
                if (next.ended) return false;
                const auto now = std::chrono::steady_clock::now();
                if (next.event) {
                    *quiet = now;
                    return sink.write(next.event->data(), next.event->size());
                }
                if (now - *quiet < kKeepAliveEvery) return sink.is_writable();
                *quiet = now;
                static const std::string kComment = ": still here\n\n";
                return sink.write(kComment.data(), kComment.size());
            },
            [&feed, reader](bool) { feed.Unsubscribe(reader); });
    }

    const StationWebSettings m_settings;
    StationWebSources m_sources;
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
};

}  // namespace

bool StationWebBuilt() {
    return true;
}

Result<std::unique_ptr<StationWeb>> StartStationWeb(const StationWebSettings& settings, StationWebSources sources) {
    auto web = std::make_unique<HttpStationWeb>(settings, sources);
    if (Error error = web->Listen()) return error;
    return std::unique_ptr<StationWeb>(std::move(web));
}

}  // namespace padsmith::cli
