#include "trust/ReleaseManifest.h"

#include <optional>
#include <set>

#include <nlohmann/json.hpp>

#include "base/Number.h"
#include "base/UtcTime.h"
#include "base/Utf8.h"
#include "device/IdPair.h"
#include "protocol/DeviceInfo.h"

namespace padsmith::trust {
namespace {

using Json = nlohmann::json;

// The deepest a manifest goes: the top object, then "image" or "pcbVersions".
constexpr int kDeepest = 2;
constexpr char kFormatFamily[] = "padsmith-release/";

Error Wrong(const std::string& why) {
    return Error(ErrorKind::kRejected, "manifest: " + why);
}

// JSON as nlohmann reads it, but a key twice in one object, or nesting past kDeepest, is no
// manifest (nlohmann would keep the last of two keys without a word).
std::optional<Json> ParseStrictly(const std::string& text, std::string& why) {
    std::vector<std::set<std::string>> open;  // the keys of each object being read
    const Json::parser_callback_t callback = [&](int depth, Json::parse_event_t event, Json& parsed) {
        if (depth > kDeepest && why.empty()) why = "nested deeper than a manifest is";
        if (event == Json::parse_event_t::object_start) open.emplace_back();
        if (event == Json::parse_event_t::object_end && !open.empty()) open.pop_back();
        if (event == Json::parse_event_t::key && !open.empty() && !open.back().insert(parsed.get<std::string>()).second &&
            why.empty()) {
            why = "the field \"" + parsed.get<std::string>() + "\" is there twice";
        }
        return why.empty();
    };
    Json root = Json::parse(text, callback, false);
    if (root.is_discarded() && why.empty()) why = "not JSON";
    if (!why.empty()) return std::nullopt;
    return root;
}

// The fields of `object` that `known` does not name; "" when there are none.
std::string UnknownField(const Json& object, const std::set<std::string>& known, const std::string& within) {
    for (const auto& item : object.items()) {
        if (known.count(item.key()) == 0) return "unknown field \"" + within + item.key() + "\"";
    }
    return "";
}

const Json* Field(const Json& object, const char* name) {
    const auto found = object.find(name);
    return found == object.end() ? nullptr : &*found;
}

Error ReadFormat(const Json& root) {
    const Json* format = Field(root, "format");
    if (format == nullptr || !format->is_string()) return Wrong("no \"format\": not a padsmith release manifest");
    const std::string text = format->get<std::string>();
    if (text == kManifestFormat) return Error();
    const std::string family = kFormatFamily;
    if (text.compare(0, family.size(), family) == 0 && ParseNumber(text.substr(family.size()), NumberBase::kDecimal, 999)) {
        return Wrong("written for a newer padsmith (" + text + "; this padsmith reads " + kManifestFormat + ")");
    }
    return Wrong("its format \"" + text + "\" is not " + kManifestFormat);
}

Error ReadImage(const Json& root, ImageDigest& image) {
    const Json* object = Field(root, "image");
    if (object == nullptr || !object->is_object()) return Wrong("no \"image\" object");
    const std::string unknown = UnknownField(*object, {"bytes", "sha256"}, "image.");
    if (!unknown.empty()) return Wrong(unknown);
    const Json* bytes = Field(*object, "bytes");
    if (bytes == nullptr || !bytes->is_number_unsigned()) return Wrong("\"image.bytes\" is not a whole number");
    const Json* sha256 = Field(*object, "sha256");
    if (sha256 == nullptr || !sha256->is_string() || !FromHex(sha256->get<std::string>(), image.sha256)) {
        return Wrong("\"image.sha256\" is not 64 hex digits");
    }
    image.fileBytes = bytes->get<uint64_t>();
    return Error();
}

Error ReadDisplayFields(const Json& root, ReleaseManifest& manifest) {
    const Json* vidPid = Field(root, "vidPid");
    if (vidPid == nullptr || !vidPid->is_string() ||
        !ParseIdPair(vidPid->get<std::string>(), manifest.vendorId, manifest.productId)) {
        return Wrong("\"vidPid\" is not a vendor and product ID (\"2A7D:6C21\")");
    }
    const Json* pcbVersions = Field(root, "pcbVersions");
    if (pcbVersions == nullptr || !pcbVersions->is_array() || pcbVersions->empty()) {
        return Wrong("\"pcbVersions\" is not a list of PCB versions");
    }
    manifest.pcbVersions.clear();
    for (const Json& item : *pcbVersions) {
        const std::optional<uint16_t> pcb = item.is_string() ? ParsePcbVersion(item.get<std::string>()) : std::nullopt;
        if (!pcb) return Wrong("\"pcbVersions\" holds " + item.dump() + ", not a PCB version (\"0.10.3.1\")");
        manifest.pcbVersions.push_back(*pcb);
    }
    if (std::set<uint16_t>(manifest.pcbVersions.begin(), manifest.pcbVersions.end()).size() != manifest.pcbVersions.size()) {
        return Wrong("\"pcbVersions\" names a version twice");
    }
    const Json* firmware = Field(root, "firmwareVersion");
    const std::optional<uint32_t> version =
        firmware != nullptr && firmware->is_string() ? ParseFirmwareVersion(firmware->get<std::string>()) : std::nullopt;
    if (!version) return Wrong("\"firmwareVersion\" is not a firmware version (\"1.0.10.255\")");
    manifest.firmwareVersion = *version;
    return Error();
}

}  // namespace

Error ReadReleaseManifest(const std::string& text, ReleaseManifest& manifest) {
    if (text.size() > kLongestManifest) return Wrong("longer than " + std::to_string(kLongestManifest) + " bytes");
    std::string why;
    const std::optional<Json> root = ParseStrictly(text, why);
    if (!root) return Wrong(why);
    if (!root->is_object()) return Wrong("not a JSON object");
    ReleaseManifest read;
    Error error = ReadFormat(*root);
    if (error) return error;
    const std::string unknown =
        UnknownField(*root, {"format", "image", "vidPid", "pcbVersions", "firmwareVersion", "notAfter"}, "");
    if (!unknown.empty()) return Wrong(unknown);
    if ((error = ReadImage(*root, read.image)) || (error = ReadDisplayFields(*root, read))) return error;
    if (const Json* notAfter = Field(*root, "notAfter")) {
        if (!notAfter->is_string() || !IsCalendarDate(notAfter->get<std::string>())) {
            return Wrong("\"notAfter\" is not a date (\"2027-06-30\")");
        }
        read.notAfter = notAfter->get<std::string>();
    }
    manifest = std::move(read);
    return Error();
}

std::string WriteReleaseManifest(const ReleaseManifest& manifest) {
    nlohmann::ordered_json pcbVersions = nlohmann::ordered_json::array();
    for (uint16_t pcb : manifest.pcbVersions) pcbVersions.push_back(ToUtf8(FormatPcbVersion(pcb)));
    nlohmann::ordered_json object{
        {"format", kManifestFormat},
        {"image", {{"bytes", manifest.image.fileBytes}, {"sha256", ToHex(manifest.image.sha256)}}},
        {"vidPid", FormatIdPair(manifest.vendorId, manifest.productId)},
        {"pcbVersions", pcbVersions},
        {"firmwareVersion", ToUtf8(FormatFirmwareVersion(manifest.firmwareVersion))},
    };
    if (!manifest.notAfter.empty()) object["notAfter"] = manifest.notAfter;
    return object.dump(2) + "\n";
}

}  // namespace padsmith::trust
