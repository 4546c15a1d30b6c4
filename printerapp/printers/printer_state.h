// What the application keeps for each printer beside PAPPL's own state: its
// label settings, stored as the plug-in's block in the spool directory.
#pragma once

#include "printerapp/printers/label_settings.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>

class PrinterStates {
  public:
    // Settings files live in `directory`, one per printer ID.
    explicit PrinterStates(std::string directory) : directory_(std::move(directory)) {}

    // The printer's settings: those stored for it, else labelprint's
    // defaults.
    LabelSettings settings(int printerId);

    // Stores new settings for the printer; false, with `error`, when they
    // cannot be written (then nothing changes).
    bool store(int printerId, const LabelSettings& settings, std::string& error);

    // Forgets a deleted printer and its files.
    void forget(int printerId);

    // Whether the printer was paused, kept across restarts (a file of its
    // own in the directory: PAPPL 1.3.1 does not keep it).
    bool paused(int printerId) const;
    void setPaused(int printerId, bool paused);

    std::string settingsPath(int printerId) const;

  private:
    std::string pausedPath(int printerId) const;

    std::string directory_;
    std::mutex lock_;
    std::map<int, LabelSettings> loaded_;
};
