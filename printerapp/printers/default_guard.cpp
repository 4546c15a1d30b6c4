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

#include <cstring>
#include <string>

namespace {

using SetDefaults = bool (*)(pappl_printer_t*, pappl_pr_driver_data_t*, int, cups_option_t*);

SetDefaults librarySetDefaults() {
    static const auto function =
        reinterpret_cast<SetDefaults>(dlsym(RTLD_NEXT, "papplPrinterSetDriverDefaults"));
    return function;
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
    return valid;
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

// Whether storing `b` in place of `a` would write the same file again.
bool sameSettings(const LabelSettings& a, const LabelSettings& b) {
    return std::memcmp(&a.block, &b.block, sizeof a.block) == 0 && a.codePage == b.codePage &&
           a.dither == b.dither && a.statusQuery == b.statusQuery;
}

// PAPPL's defaults as `data` and the settings say.
bool setLibraryDefaults(pappl_printer_t* printer, pappl_pr_driver_data_t& data,
                        const LabelSettings& settings) {
    // PAPPL keeps the values as the block holds them: "true" for a ticked
    // box, hex without spaces, and the darkness the printer prints at.
    data.darkness_configured = darknessOfDensity(settings.block.density);
    cups_option_t* vendor = nullptr;
    const int count = vendorOptions(settings, &vendor);
    const bool set = setOrientation(printer, data.orient_default) &&
                     librarySetDefaults()(printer, &data, count, vendor);
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
    const bool changed = !sameSettings(old, settings);
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
