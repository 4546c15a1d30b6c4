#include "printerapp/printers/printer_state.h"

#include <cstdio>
#include <unistd.h>

std::string PrinterStates::settingsPath(int printerId) const {
    return directory_ + "/label-settings-" + std::to_string(printerId) + ".devmode";
}

LabelSettings PrinterStates::settings(int printerId) {
    const std::lock_guard<std::mutex> hold(lock_);
    if (const auto found = loaded_.find(printerId); found != loaded_.end())
        return found->second;
    // A printer with no file of its own, or a damaged one, prints with
    // labelprint's defaults until it is given settings.
    const std::string path = settingsPath(printerId);
    std::string error;
    std::optional<LabelSettings> stored;
    if (access(path.c_str(), F_OK) == 0)
        stored = loadLabelSettings(path, error);
    return loaded_[printerId] = stored ? *stored : defaultLabelSettings();
}

bool PrinterStates::store(int printerId, const LabelSettings& settings, std::string& error) {
    const std::lock_guard<std::mutex> hold(lock_);
    if (!saveLabelSettings(settingsPath(printerId), settings, error))
        return false;
    loaded_[printerId] = settings;
    return true;
}

void PrinterStates::forget(int printerId) {
    const std::lock_guard<std::mutex> hold(lock_);
    loaded_.erase(printerId);
    std::remove(settingsPath(printerId).c_str());
    std::remove(pausedPath(printerId).c_str());
}

std::string PrinterStates::pausedPath(int printerId) const {
    return directory_ + "/label-paused-" + std::to_string(printerId);
}

bool PrinterStates::paused(int printerId) const {
    return access(pausedPath(printerId).c_str(), F_OK) == 0;
}

void PrinterStates::setPaused(int printerId, bool paused) {
    const std::string path = pausedPath(printerId);
    if (!paused) {
        std::remove(path.c_str());
        return;
    }
    if (std::FILE* file = std::fopen(path.c_str(), "w"))
        std::fclose(file);
}
