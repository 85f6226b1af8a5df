#include "plugin/editor/editor_settings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace velmor {

namespace {

constexpr int kZooms[] = {100, 125, 150, 175, 200, 250, 300};

std::filesystem::path fromEnvironment(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? std::filesystem::path(v) : std::filesystem::path();
}

#ifdef _WIN32
std::filesystem::path dataFolder() {
    const auto appData = fromEnvironment("APPDATA");
    return appData.empty() ? appData : appData / "Velmor";
}
std::filesystem::path settingsFile() {
    const auto d = dataFolder();
    return d.empty() ? d : d / "editor.ini";
}
#else
std::filesystem::path dataFolder() {
    auto d = fromEnvironment("XDG_DATA_HOME");
    if (d.empty() && !fromEnvironment("HOME").empty()) d = fromEnvironment("HOME") / ".local" / "share";
    return d.empty() ? d : d / "velmor";
}
std::filesystem::path settingsFile() {
    auto d = fromEnvironment("XDG_CONFIG_HOME");
    if (d.empty() && !fromEnvironment("HOME").empty()) d = fromEnvironment("HOME") / ".config";
    return d.empty() ? d : d / "velmor" / "editor.ini";
}
#endif

}  // namespace

int readZoom() {
    std::ifstream in(settingsFile());
    int zoom = 100;
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("zoom=", 0) == 0) zoom = std::atoi(line.c_str() + 5);
    return std::find(std::begin(kZooms), std::end(kZooms), zoom) != std::end(kZooms) ? zoom : 100;
}

void writeZoom(int zoom) {
    const auto file = settingsFile();
    if (file.empty()) return;
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
    std::ofstream(file) << "zoom=" << zoom << "\n";
}

int nextZoom(int zoom, int direction) {
    const auto at = std::find(std::begin(kZooms), std::end(kZooms), zoom);
    const long i = at == std::end(kZooms) ? 0 : at - std::begin(kZooms);
    return kZooms[std::clamp<long>(i + direction, 0, std::size(kZooms) - 1)];
}

std::string userPresetFolder(bool create) {
    const auto d = dataFolder();
    if (d.empty()) return {};
    const auto folder = d / "presets";
    if (create) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
    }
    return folder.string();
}

std::string sessionFile(bool create) {
    const auto d = dataFolder();
    if (d.empty()) return {};
    if (create) {
        std::error_code ignored;
        std::filesystem::create_directories(d, ignored);
    }
    return (d / "session.pat").string();
}

std::string defaultPatternPath() {
#ifdef _WIN32
    const auto home = fromEnvironment("USERPROFILE");
#else
    const auto home = fromEnvironment("HOME");
#endif
    return (home.empty() ? std::filesystem::path("Untitled.pat") : home / "Untitled.pat").string();
}

}  // namespace velmor
