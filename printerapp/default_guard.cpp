// PAPPL changes a printer's defaults — from Set-Printer-Attributes, from its
// web page and from its state file — through papplPrinterSetDriverDefaults.
// The program defines that function itself, so that every change of the
// label settings is checked first and kept as the plug-in's block; the
// library's own definition does the rest. (The program's definition takes
// the place of the library's for the library's own calls as well, since the
// library calls it through its procedure linkage table.)
#include "printerapp/default_guard.h"

#include "printerapp/app_context.h"
#include "printerapp/label_driver.h"

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
    // PAPPL keeps the values as the block holds them: "true" for a ticked
    // box, hex without spaces, and the darkness the printer prints at.
    data->darkness_configured = darknessOfDensity(settings.block.density);
    if (!setOrientation(printer, data->orient_default))
        return false;
    cups_option_t* vendor = nullptr;
    const int vendorCount = vendorOptions(settings, &vendor);
    const bool accepted = librarySetDefaults()(printer, data, vendorCount, vendor);
    cupsFreeOptions(vendorCount, vendor);
    if (!accepted)
        return false;
    std::string error;
    if (!context.printers->store(papplPrinterGetID(printer), settings, error))
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "%s", error.c_str());
    return true;
}

int vendorOptions(const LabelSettings& settings, cups_option_t** options) {
    *options = nullptr;
    int count = 0;
    for (const SettingField& field : settingFields())
        count = cupsAddOption(field.name, settingValue(settings, field).c_str(), count, options);
    return count;
}
