#pragma once
// A station's events as the JSON objects --json prints (cli/JsonObjects.h), one call of Emit per
// event: --json prints them, the web view's feed sends them, so both carry the same objects.

#include <string>
#include <vector>

#include "app/RunObserver.h"
#include "cli/JsonObjects.h"

namespace padsmith::cli {

class StationJsonEvents : public RunObserver {
public:
    // `image`: the image's part of every result ({"path", "bytes", "sha256"}).
    explicit StationJsonEvents(Json image) : m_image(std::move(image)) {}
    void OnArrival(const HidInterface& display) override;
    void OnIgnored(const HidInterface& display) override;
    void OnStarted(const HidInterface& display) override;
    void OnResult(const DisplayOutcome& outcome) override;
    void OnLeft(const std::string& port) override;
    void OnOutOfService(const std::string& port, const std::vector<PortFailure>& failures) override;
    void OnHeldBack(const HidInterface& display) override;
    void OnCleared(const std::string& port) override;

protected:
    // One event's object; from the station's threads, one at a time per display.
    virtual void Emit(const Json& object) = 0;

private:
    const Json m_image;
};

}  // namespace padsmith::cli
