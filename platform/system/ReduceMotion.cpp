#include "platform/system/ReduceMotion.h"

#include "platform/system/BusQuestion.h"
#include "platform/system/HomeDirectory.h"
#include "platform/system/ReadFile.h"

#include <gio/gio.h>
#include <sys/stat.h>
#include <systemd/sd-bus.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string_view>

namespace floodmark {

namespace ReduceMotion {

namespace {

constexpr std::size_t maxKdeGlobalsBytes = 1 << 20;

std::string trimmed(const std::string& text) {
    auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Whether the session has a bus to ask. GSettings (through dconf) and GDBus would otherwise
// autolaunch one, whose dbus-launch and dbus-daemon outlive us until the X server goes.
bool sessionBusPresent() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address != nullptr && address[0] != '\0') {
        return std::string_view(address).find("autolaunch:") == std::string_view::npos;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat bus {};
    return runtime != nullptr && runtime[0] == '/' &&
           stat((std::string(runtime) + "/bus").c_str(), &bus) == 0 && S_ISSOCK(bus.st_mode);
}

// A GSettings value that the user set, or nothing when the schema or the key is not installed
// (opening a schema that is missing would abort the process) or the key holds its default: the
// defaults of GNOME's schemas are no answer on a desktop that merely has them installed.
GVariant* gsettingsValue(const char* schemaId, const char* key) {
    if (!sessionBusPresent()) {
        return nullptr;
    }
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (source == nullptr) {
        return nullptr;
    }
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, schemaId, TRUE);
    if (schema == nullptr) {
        return nullptr;
    }
    GVariant* value = nullptr;
    if (g_settings_schema_has_key(schema, key)) {
        GSettings* settings = g_settings_new_full(schema, nullptr, nullptr);
        value = g_settings_get_user_value(settings, key);
        g_object_unref(settings);
    }
    g_settings_schema_unref(schema);
    return value;
}

// What a key the user set says, read by `reduces` when it holds a value of `type`.
template <typename Reading>
std::optional<bool> gsettingsAnswer(const char* schemaId, const char* key, const GVariantType* type,
                                    Reading reduces) {
    GVariant* value = gsettingsValue(schemaId, key);
    if (value == nullptr) {
        return std::nullopt;
    }
    std::optional<bool> answer;
    if (g_variant_is_of_type(value, type)) {
        answer = reduces(value);
    }
    g_variant_unref(value);
    return answer;
}

}  // namespace

std::optional<bool> readPortal() {
    if (!sessionBusPresent()) {
        return std::nullopt;
    }
    // Only a portal that already runs is asked (starting one can take seconds), and never
    // waited for.
    thread_local OwnBusQuestion question(
        OwnBusQuestion::Bus::session,
        [](sd_bus* bus) {
            sd_bus_message* call = nullptr;
            if (sd_bus_message_new_method_call(bus, &call, "org.freedesktop.portal.Desktop",
                                               "/org/freedesktop/portal/desktop",
                                               "org.freedesktop.portal.Settings", "ReadOne") < 0) {
                return static_cast<sd_bus_message*>(nullptr);
            }
            if (sd_bus_message_set_auto_start(call, 0) < 0 ||
                sd_bus_message_append(call, "ss", "org.freedesktop.appearance", "reduced-motion") <
                    0) {
                return sd_bus_message_unref(call);
            }
            return call;
        },
        [](sd_bus_message* reply) -> std::optional<bool> {
            std::uint32_t value = 0;
            if (sd_bus_message_read(reply, "v", "u", &value) < 0) {
                return std::nullopt;
            }
            return value == 1;
        });
    return question.answer();
}

std::optional<bool> readGnomeReducedMotion() {
    return gsettingsAnswer("org.gnome.desktop.a11y.interface", "reduced-motion",
                           G_VARIANT_TYPE_STRING, [](GVariant* value) {
                               return std::string(g_variant_get_string(value, nullptr)) == "reduce";
                           });
}

std::optional<bool> readGnomeAnimationsOff() {
    return gsettingsAnswer("org.gnome.desktop.interface", "enable-animations",
                           G_VARIANT_TYPE_BOOLEAN,
                           [](GVariant* value) { return g_variant_get_boolean(value) == FALSE; });
}

std::optional<bool> readKdeGlobals(const std::string& path) {
    auto content = readSmallFile(path, maxKdeGlobalsBytes);
    if (!content) {
        return std::nullopt;
    }
    std::istringstream lines(*content);
    std::string line;
    bool inKdeGroup = false;
    while (std::getline(lines, line)) {
        line = trimmed(line);
        if (line.starts_with('[')) {
            inKdeGroup = line == "[KDE]";
            continue;
        }
        auto equals = line.find('=');
        if (!inKdeGroup || equals == std::string::npos ||
            trimmed(line.substr(0, equals)) != "AnimationDurationFactor") {
            continue;
        }
        char* end = nullptr;
        std::string number = trimmed(line.substr(equals + 1));
        double factor = std::strtod(number.c_str(), &end);
        if (number.empty() || *end != '\0') {
            return std::nullopt;
        }
        return factor == 0;
    }
    return std::nullopt;
}

std::string defaultKdeGlobalsPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base =
        config != nullptr && config[0] == '/' ? std::string(config) : expandTilde("~/.config");
    return base + "/kdeglobals";
}

bool firstAnswer(const std::vector<Reader>& readers) {
    for (const auto& read : readers) {
        if (auto answer = read()) {
            return *answer;
        }
    }
    return false;
}

std::vector<Reader> systemReaders() {
    return {readPortal, readGnomeReducedMotion, readGnomeAnimationsOff,
            [] { return readKdeGlobals(defaultKdeGlobalsPath()); }};
}

}  // namespace ReduceMotion

bool ReduceMotionSetting::value(double now) {
    if (readAt_ && now - *readAt_ >= 0 && now - *readAt_ < refreshInterval) {
        return value_;
    }
    value_ = ReduceMotion::firstAnswer(readers_);
    readAt_ = now;
    return value_;
}

}  // namespace floodmark
