// PAPPL changes a printer's defaults — from Set-Printer-Attributes, from its
// web page and from its state file — through papplPrinterSetDriverDefaults.
// The program defines that function itself, so that every change of the
// label settings is checked first and kept as the plug-in's block; the
// library's own definition does the rest. (The program's definition takes
// the place of the library's for the library's own calls as well, since the
// library calls it through its procedure linkage table.)
#include "printerapp/app_context.h"
#include "printerapp/label_settings.h"

#include <dlfcn.h>
#include <pappl/pappl.h>

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
    if (!librarySetDefaults()(printer, data, count, values))
        return false;
    std::string error;
    if (!context.printers->store(papplPrinterGetID(printer), settings, error))
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "%s", error.c_str());
    return true;
}
