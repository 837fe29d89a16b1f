// The station's HTTP server as a client meets it: read-only, its headers on every answer, a
// loopback station that answers loopback names only, and one that listens beyond loopback
// refusing every request for data that does not carry its token.

#include <httplib.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/VirtualClock.h"
#include "cli/StationWeb.h"

namespace padsmith::test {
namespace {

using ::testing::HasSubstr;

struct Served {
    explicit Served(const std::string& token) : feed(ports, clock, cli::Json::object()), metrics(ports, "ab", nullptr) {
        cli::StationWebSettings settings;
        settings.address = {"127.0.0.1", 0};
        settings.token = token;
        auto started = cli::StartStationWeb(settings, cli::StationWebSources{feed, metrics, nullptr});
        EXPECT_TRUE(started) << started.error().message;
        web = std::move(*started);
        client = std::make_unique<httplib::Client>("127.0.0.1", web->Port());
    }
    VirtualClock clock;
    StationPorts ports{clock};
    cli::StationFeed feed;
    cli::StationMetrics metrics;
    std::unique_ptr<cli::StationWeb> web;
    std::unique_ptr<httplib::Client> client;
};

TEST(StationWebServer, ReadOnlyWithItsHeadersAndLoopbackNamesOnly) {
    Served served("");
    httplib::Client& client = *served.client;
    const auto page = client.Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_THAT(page->get_header_value("Content-Security-Policy"), HasSubstr("default-src 'none'; script-src 'self'"));
    EXPECT_EQ(page->get_header_value("X-Content-Type-Options"), "nosniff");
    EXPECT_THAT(page->body, HasSubstr("<script src=\"/station.js\""));
    EXPECT_EQ(client.Get("/metrics")->status, 200);
    for (const auto& answer : {client.Post("/metrics"), client.Put("/", "", "text/plain"), client.Delete("/events")}) {
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, 405);
        EXPECT_EQ(answer->get_header_value("Allow"), "GET, HEAD");
    }
    // A page elsewhere whose name was made to point at 127.0.0.1 names its own host.
    EXPECT_EQ(client.Get("/metrics", {{"Host", "rebound.example:8080"}})->status, 403);
    // The stream opens with the ports as they are.
    std::string stream;
    client.Get("/events", [&](const char* data, size_t length) {
        stream.append(data, length);
        return stream.find("\n\n") == std::string::npos;
    });
    EXPECT_EQ(stream.rfind("event: ports\n", 0), 0u) << stream;
}

TEST(StationWebServer, WithATokenEveryRequestForDataMustCarryIt) {
    Served served("line-token-0123");
    httplib::Client& client = *served.client;
    EXPECT_EQ(client.Get("/")->status, 200);  // the page itself holds no data
    for (const char* path : {"/metrics", "/events", "/api/history"}) {
        EXPECT_EQ(client.Get(path)->status, 401) << path;
        EXPECT_EQ(client.Get(path, {{"Authorization", "Bearer line-token-012"}})->status, 401) << path;
    }
    EXPECT_EQ(client.Get("/metrics", {{"Authorization", "Bearer line-token-0123"}})->status, 200);
    // Whatever name it was reached by: the token decides.
    EXPECT_EQ(client.Get("/metrics", {{"Authorization", "Bearer line-token-0123"}, {"Host", "station.line:80"}})->status,
              200);
}

}  // namespace
}  // namespace padsmith::test
