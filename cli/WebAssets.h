#pragma once
// The files of the station's pages (cli/web/), built into padsmith: it serves its own script
// and style, so the page's Content-Security-Policy can allow nothing from anywhere else.

#include <vector>

namespace padsmith::cli {

struct WebAsset {
    const char* path;  // where it is served: "/", "/station.js"
    const char* type;  // its Content-Type
    const char* body;
};

const std::vector<WebAsset>& WebAssets();

}  // namespace padsmith::cli
