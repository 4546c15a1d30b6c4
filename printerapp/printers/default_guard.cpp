// PAPPL changes a printer's defaults — from Set-Printer-Attributes, from its
// web page and from its state file — through papplPrinterSetDriverDefaults.
// The program defines that function itself, so that every change of the
// label settings is checked first and stored as the plug-in's block before
// the library's own definition does the rest: a change that cannot be kept
// is refused whole. (The program's definition takes
// the place of the library's for the library's own calls as well, since the
// library calls it through its procedure linkage table.)
#include "printerapp/printers/default_guard.h"

#include "printerapp/system/app_context.h"
#include "printerapp/system/label_driver.h"

#include <dlfcn.h>
#include <pappl/pappl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

using SetDefaults = bool (*)(pappl_printer_t*, pappl_pr_driver_data_t*, int, cups_option_t*);

using SetReadyMedia = bool (*)(pappl_printer_t*, int, pappl_media_col_t*);

SetDefaults librarySetDefaults() {
    static const auto function =
        reinterpret_cast<SetDefaults>(dlsym(RTLD_NEXT, "papplPrinterSetDriverDefaults"));
    return function;
}

SetReadyMedia librarySetReadyMedia() {
    static const auto function =
        reinterpret_cast<SetReadyMedia>(dlsym(RTLD_NEXT, "papplPrinterSetReadyMedia"));
    return function;
}

struct ModeBit {
    standin::LabelMode mode;
    pappl_label_mode_t bit;
};
constexpr ModeBit kModeBits[] = {
    {standin::LabelMode::kTearOff, PAPPL_LABEL_MODE_TEAR_OFF},
    {standin::LabelMode::kPeelOff, PAPPL_LABEL_MODE_PEEL_OFF},
    {standin::LabelMode::kCutter, PAPPL_LABEL_MODE_CUTTER},
    {standin::LabelMode::kCutterDelayed, PAPPL_LABEL_MODE_CUTTER_DELAYED},
};
struct TrackingBit {
    standin::MediaTracking tracking;
    pappl_media_tracking_t bit;
};
constexpr TrackingBit kTrackingBits[] = {
    {standin::MediaTracking::kGap, PAPPL_MEDIA_TRACKING_GAP},
    {standin::MediaTracking::kMark, PAPPL_MEDIA_TRACKING_MARK},
    {standin::MediaTracking::kContinuous, PAPPL_MEDIA_TRACKING_CONTINUOUS},
};

pappl_label_mode_t labelModeBit(standin::LabelMode mode) {
    for (const ModeBit& entry : kModeBits) {
        if (entry.mode == mode)
            return entry.bit;
    }
    return 0;
}

std::optional<standin::LabelMode> labelModeOfBit(pappl_label_mode_t bit) {
    for (const ModeBit& entry : kModeBits) {
        if (entry.bit == bit)
            return entry.mode;
    }
    return std::nullopt;
}

pappl_media_tracking_t trackingBit(standin::MediaTracking tracking) {
    for (const TrackingBit& entry : kTrackingBits) {
        if (entry.tracking == tracking)
            return entry.bit;
    }
    return 0;
}

std::optional<standin::MediaTracking> trackingOfBit(pappl_media_tracking_t bit) {
    for (const TrackingBit& entry : kTrackingBits) {
        if (entry.bit == bit)
            return entry.tracking;
    }
    return std::nullopt;
}

// PAPPL's values for the media setup. A part the printer was never told
// shows as PAPPL's own default (gap sensing, tear-off, the printer's speed,
// no offsets), and a value a person sets is one that differs from what
// PAPPL showed: saving a page that shows the defaults sends nothing new.
struct StandardValues {
    int speed = 0; // PAPPL's units: 2540 an inch a second; 0 the printer's own
    pappl_label_mode_t mode = PAPPL_LABEL_MODE_TEAR_OFF;
    int tearOffset = 0;
    pappl_media_tracking_t tracking = PAPPL_MEDIA_TRACKING_GAP;
    int topOffset = 0;
};

constexpr int kSpeedUnit = 2540;

StandardValues standardValuesOf(const standin::MediaSetup& setup) {
    StandardValues values;
    if (setup.speed)
        values.speed = *setup.speed * kSpeedUnit;
    if (setup.mode)
        values.mode = labelModeBit(*setup.mode);
    values.tearOffset = setup.modeOffset.value_or(0);
    if (setup.tracking)
        values.tracking = trackingBit(*setup.tracking);
    values.topOffset = setup.topOffset.value_or(0);
    return values;
}

// The printer's speed, label mode and its offset as PAPPL's driver data
// now says; false, logged, for a value the printer cannot take.
bool takeDriverValues(pappl_printer_t* printer, const pappl_pr_driver_data_t& data,
                      standin::MediaSetup& setup) {
    const StandardValues shown = standardValuesOf(setup);
    bool valid = true;
    if (data.speed_default != shown.speed) {
        if (data.speed_default == 0) {
            setup.speed.reset();
        } else if (data.speed_default % kSpeedUnit != 0 ||
                   data.speed_default / kSpeedUnit < standin::kMinSpeed ||
                   data.speed_default / kSpeedUnit > standin::kMaxSpeed) {
            papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Refused: print speed %d",
                            data.speed_default);
            valid = false;
        } else {
            setup.speed = data.speed_default / kSpeedUnit;
        }
    }
    if (data.mode_configured != shown.mode) {
        if (const auto mode = labelModeOfBit(data.mode_configured)) {
            setup.mode = mode;
        } else {
            papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Refused: label mode %d",
                            data.mode_configured);
            valid = false;
        }
    }
    if (data.tear_offset_configured != shown.tearOffset) {
        if (std::abs(data.tear_offset_configured) > standin::kMaxOffset) {
            papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Refused: label offset %d",
                            data.tear_offset_configured);
            valid = false;
        } else {
            setup.modeOffset = data.tear_offset_configured;
        }
    }
    return valid;
}

// The loaded roll's tracking and top offset as PAPPL's ready media says.
bool takeReadyMedia(pappl_printer_t* printer, const pappl_media_col_t& ready,
                    standin::MediaSetup& setup) {
    const StandardValues shown = standardValuesOf(setup);
    bool valid = true;
    if (ready.tracking != shown.tracking) {
        if (const auto tracking = trackingOfBit(ready.tracking)) {
            setup.tracking = tracking;
        } else {
            papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Refused: media tracking %d",
                            ready.tracking);
            valid = false;
        }
    }
    if (ready.top_offset != shown.topOffset) {
        if (std::abs(ready.top_offset) > standin::kMaxOffset) {
            papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Refused: top offset %d",
                            ready.top_offset);
            valid = false;
        } else {
            setup.topOffset = ready.top_offset;
        }
    }
    return valid;
}

// The printer's settings with the new values; false, every problem logged,
// when one is out of range or not hexadecimal.
bool changedSettings(pappl_printer_t* printer, const pappl_pr_driver_data_t& data, int count,
                     cups_option_t* values, LabelSettings& settings) {
    settings = appContext().printers->settings(papplPrinterGetID(printer));
    bool valid = true;
    for (const SettingField& field : settingFields()) {
        const char* value = cupsGetOption(field.name, count, values);
        // PAPPL 1.3.1's Printing Defaults page passes a ticked box as "on".
        if (value && field.kind == SettingKind::kBoolean && std::strcmp(value, "on") == 0)
            value = "true";
        if (!value || settingValue(settings, field) == value)
            continue;
        if (const auto problem = setSetting(settings, field, value)) {
            papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Refused: %s", problem->c_str());
            valid = false;
        }
    }
    if (data.darkness_configured < 0 || data.darkness_configured > 100) {
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Refused: darkness %d is out of range",
                        data.darkness_configured);
        valid = false;
    } else if (data.darkness_configured != darknessOfDensity(settings.block.density)) {
        settings.block.density = densityOfDarkness(data.darkness_configured);
    }
    return takeDriverValues(printer, data, settings.setup) && valid;
}

// PAPPL 1.3.1's papplPrinterSetDriverDefaults leaves orient_default as it
// was; setting the whole driver data, which keeps the rest, changes it.
bool setOrientation(pappl_printer_t* printer, ipp_orient_t orientation) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    if (data.orient_default == orientation)
        return true;
    data.orient_default = orientation;
    ipp_t* attributes = driverAttributes();
    const bool set = papplPrinterSetDriverData(printer, &data, attributes);
    ippDelete(attributes);
    return set;
}

// The loaded roll as the settings say, unless PAPPL shows it so already.
bool setLibraryReadyMedia(pappl_printer_t* printer, const StandardValues& standard) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    pappl_media_col_t& ready = data.media_ready[0];
    if (ready.tracking == standard.tracking && ready.top_offset == standard.topOffset)
        return true;
    ready.tracking = standard.tracking;
    ready.top_offset = standard.topOffset;
    const int count = std::max(data.num_source, 1);
    return librarySetReadyMedia()(printer, count, data.media_ready);
}

// PAPPL's defaults as `data` and the settings say.
bool setLibraryDefaults(pappl_printer_t* printer, pappl_pr_driver_data_t& data,
                        const LabelSettings& settings) {
    // PAPPL keeps the values as the block holds them: "true" for a ticked
    // box, hex without spaces, and the darkness the printer prints at.
    data.darkness_configured = darknessOfDensity(settings.block.density);
    const StandardValues standard = standardValuesOf(settings.setup);
    data.speed_default = standard.speed;
    data.mode_configured = standard.mode;
    data.tear_offset_configured = standard.tearOffset;
    cups_option_t* vendor = nullptr;
    const int count = vendorOptions(settings, &vendor);
    const bool set = setOrientation(printer, data.orient_default) &&
                     librarySetDefaults()(printer, &data, count, vendor) &&
                     setLibraryReadyMedia(printer, standard);
    cupsFreeOptions(count, vendor);
    return set;
}

// The block is stored first, so that a block that cannot be kept leaves
// PAPPL's defaults as they were; when PAPPL then refuses, the old block and
// defaults go back.
bool applySettings(pappl_printer_t* printer, pappl_pr_driver_data_t& data,
                   const LabelSettings& settings, std::string& error) {
    PrinterStates& states = *appContext().printers;
    const int printerId = papplPrinterGetID(printer);
    const LabelSettings old = states.settings(printerId);
    const bool changed = !(old == settings);
    if (changed && !states.store(printerId, settings, error))
        return false;
    pappl_pr_driver_data_t before;
    papplPrinterGetDriverData(printer, &before);
    if (setLibraryDefaults(printer, data, settings))
        return true;
    error = "the printer's defaults were not accepted";
    setLibraryDefaults(printer, before, old);
    std::string restoreError;
    if (changed && !states.store(printerId, old, restoreError))
        error += "; " + restoreError;
    return false;
}

} // namespace

extern "C" bool papplPrinterSetDriverDefaults(pappl_printer_t* printer,
                                              pappl_pr_driver_data_t* data, int count,
                                              cups_option_t* values) {
    AppContext& context = appContext();
    if (context.loadingState || !context.printers || !data)
        return librarySetDefaults()(printer, data, count, values);
    LabelSettings settings;
    if (!changedSettings(printer, *data, count, values, settings))
        return false;
    std::string error;
    if (!applySettings(printer, *data, settings, error)) {
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Refused: %s", error.c_str());
        return false;
    }
    return true;
}

extern "C" bool papplPrinterSetReadyMedia(pappl_printer_t* printer, int count,
                                          pappl_media_col_t* ready) {
    AppContext& context = appContext();
    if (context.loadingState || !context.printers || !ready || count < 1)
        return librarySetReadyMedia()(printer, count, ready);
    const int printerId = papplPrinterGetID(printer);
    LabelSettings settings = context.printers->settings(printerId);
    if (!takeReadyMedia(printer, ready[0], settings.setup))
        return false;
    std::string error;
    if (!(settings == context.printers->settings(printerId)) &&
        !context.printers->store(printerId, settings, error)) {
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Refused: %s", error.c_str());
        return false;
    }
    return librarySetReadyMedia()(printer, count, ready);
}

pappl_label_mode_t supportedLabelModes() {
    pappl_label_mode_t modes = 0;
    for (const ModeBit& entry : kModeBits)
        modes |= entry.bit;
    return modes;
}

pappl_media_tracking_t supportedTracking() {
    pappl_media_tracking_t trackings = 0;
    for (const TrackingBit& entry : kTrackingBits)
        trackings |= entry.bit;
    return trackings;
}

bool changePrinterSettings(pappl_printer_t* printer, const LabelSettings& settings,
                           std::string& error) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    return applySettings(printer, data, settings, error);
}

int vendorOptions(const LabelSettings& settings, cups_option_t** options) {
    *options = nullptr;
    int count = 0;
    for (const SettingField& field : settingFields())
        count = cupsAddOption(field.name, settingValue(settings, field).c_str(), count, options);
    return count;
}
