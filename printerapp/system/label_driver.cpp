#include "printerapp/system/label_driver.h"

#include "printerapp/jobs/job_filters.h"
#include "printerapp/jobs/label_delivery.h"
#include "printerapp/jobs/raster_job.h"
#ifdef LABEL_PAPPL_1_3_MENDS
#include "printerapp/pappl13/job_history_mend.h"
#endif
#include "printerapp/printers/default_guard.h"
#include "printerapp/printers/printer_actions.h"
#include "printerapp/printers/printer_pages.h"
#include "printerapp/system/app_context.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// The label sizes people buy, by their PWG self-describing names, then the
// range of custom sizes the printer takes (12.7-108 mm wide, 6.35-1000 mm
// long).
const char* const kMedia[] = {
    "na_index-4x6_4x6in",     "oe_4x4-label_4x4in",     "oe_4x3-label_4x3in",
    "oe_4x2-label_4x2in",     "oe_4x1-label_4x1in",     "oe_3x2-label_3x2in",
    "oe_3x1-label_3x1in",     "oe_2x1-label_2x1in",     "oe_2-25x1-25-label_2.25x1.25in",
    "om_100x150mm_100x150mm", "om_100x100mm_100x100mm", "om_100x50mm_100x50mm",
    "om_60x40mm_60x40mm",     "om_50x30mm_50x30mm",     "om_40x30mm_40x30mm",
    "custom_min_12.7x6.35mm", "custom_max_108x1000mm",
};

void fillMedia(pappl_pr_driver_data_t& data) {
    data.num_media = static_cast<int>(sizeof kMedia / sizeof kMedia[0]);
    for (int i = 0; i < data.num_media; ++i)
        data.media[i] = kMedia[i];
    data.num_source = 1;
    data.source[0] = "main-roll";
    data.num_type = 1;
    data.type[0] = "labels";
    pappl_media_col_t& media = data.media_default;
    std::strncpy(media.size_name, "na_index-4x6_4x6in", sizeof media.size_name - 1);
    media.size_width = 10160;
    media.size_length = 15240;
    std::strncpy(media.source, "main-roll", sizeof media.source - 1);
    std::strncpy(media.type, "labels", sizeof media.type - 1);
    media.tracking = PAPPL_MEDIA_TRACKING_GAP;
    data.media_ready[0] = media;
    // Where the print starts along the feed; sideways the label settings'
    // shift moves it (the printer's language moves the print only along the
    // feed).
    data.tracking_supported = supportedTracking();
    data.top_offset_supported[0] = -1000;
    data.top_offset_supported[1] = 1000;
    // Borderless, and also with margins of 0.01 mm: clients that make a page
    // description of the printer (CUPS) need a size with margins to name as
    // the default, or they fall back to Letter and a PDF prints shrunk.
    data.borderless = true;
    data.left_right = 1;
    data.bottom_top = 1;
}

// Identify: the message goes to the log, and a printer that can beeps (one
// writing to a file, or busy printing, says so in the log instead).
void identify(pappl_printer_t* printer, pappl_identify_actions_t actions, const char* message) {
    papplLog(papplPrinterGetSystem(printer), PAPPL_LOGLEVEL_INFO, "Identify printer %s: %s",
             papplPrinterGetName(printer), message ? message : "");
    if (!(actions & PAPPL_IDENTIFY_ACTIONS_SOUND))
        return;
    if (const auto problem = runPrinterAction(printer, standin::PrinterAction::kBeep))
        papplLogPrinter(printer, PAPPL_LOGLEVEL_WARN, "Identify by sound: %s", problem->c_str());
}

// The vendor attributes' "-supported" values: ranges for numbers, true and
// false for switches, none for commands.
void addSupported(ipp_t* attributes) {
    for (const SettingField& field : settingFields()) {
        const std::string name = std::string(field.name) + "-supported";
        switch (field.kind) {
        case SettingKind::kInteger:
            if (std::string(field.name) == "label-code-page") {
                const std::vector<int>& pages = supportedCodePages();
                ippAddIntegers(attributes, IPP_TAG_PRINTER, IPP_TAG_INTEGER, name.c_str(),
                               static_cast<int>(pages.size()), pages.data());
            } else if (std::string(field.name) == "label-direction") {
                // A list, not a range: PAPPL's page shows it as a menu of
                // the directions in words.
                const int directions[] = {0, 1};
                ippAddIntegers(attributes, IPP_TAG_PRINTER, IPP_TAG_INTEGER, name.c_str(), 2,
                               directions);
            } else {
                ippAddRange(attributes, IPP_TAG_PRINTER, name.c_str(), field.minimum,
                            field.maximum);
            }
            break;
        case SettingKind::kBoolean:
            ippAddBoolean(attributes, IPP_TAG_PRINTER, name.c_str(), 1);
            break;
        case SettingKind::kHexCommand:
        case SettingKind::kLength:
            // None: PAPPL 1.3.1 keeps a vendor value as text, and shows it as
            // a text field, only when it has no "-supported"; an integer one
            // makes it a number and a menu, and a text, name, octetString or
            // out-of-band one drops its "-default" altogether.
            break;
        }
    }
}

// What IPP Everywhere asks of every printer that PAPPL leaves to the driver,
// each as this printer truly is.
void addConformance(ipp_t* attributes) {
    static const char* const kNoOverrides[] = {"document-number", "pages"};
    ippAddStrings(attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "overrides-supported", 2, nullptr,
                  kNoOverrides);
    ippAddBoolean(attributes, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
    ippAddString(attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default",
                 nullptr, "auto");
    ippAddString(attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported",
                 nullptr, "auto");
    ippAddString(attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back",
                 nullptr, "normal");
}

} // namespace

bool labelDriver(pappl_system_t*, const char* driverName, const char*, const char*,
                 pappl_pr_driver_data_t* data, ipp_t** attributes, void*) {
    if (std::strcmp(driverName, kDriverName) != 0)
        return false;
    std::strncpy(data->make_and_model, "Label printer 203 dpi", sizeof data->make_and_model - 1);
    data->kind = PAPPL_KIND_LABEL;
    data->ppm = 60;
    data->num_resolution = 1;
    data->x_resolution[0] = data->y_resolution[0] = kPrinterDpi;
    data->x_default = data->y_default = kPrinterDpi;
    data->raster_types = PAPPL_PWG_RASTER_TYPE_BLACK_1 | PAPPL_PWG_RASTER_TYPE_SGRAY_8;
    data->force_raster_type = PAPPL_PWG_RASTER_TYPE_BLACK_1;
    fillDitherMatrix(data->gdither, false);
    fillDitherMatrix(data->pdither, false);
    data->color_supported = PAPPL_COLOR_MODE_MONOCHROME | PAPPL_COLOR_MODE_AUTO;
    data->color_default = PAPPL_COLOR_MODE_MONOCHROME;
    data->content_default = PAPPL_CONTENT_AUTO;
    data->quality_default = IPP_QUALITY_NORMAL;
    data->scaling_default = PAPPL_SCALING_AUTO;
    data->orient_default = IPP_ORIENT_PORTRAIT;
    data->sides_supported = PAPPL_SIDES_ONE_SIDED;
    data->sides_default = PAPPL_SIDES_ONE_SIDED;
    data->darkness_supported = kDensityLevels;
    data->darkness_configured = darknessOfDensity(defaultLabelSettings().block.density);
    // Nothing of the media setup is sent until a person sets it: the
    // printer's own speed, and the defaults PAPPL shows for the rest.
    data->speed_supported[0] = 2 * 2540;
    data->speed_supported[1] = 6 * 2540;
    data->speed_default = 0;
    data->mode_supported = supportedLabelModes();
    data->mode_configured = PAPPL_LABEL_MODE_TEAR_OFF;
    data->tear_offset_supported[0] = -1000;
    data->tear_offset_supported[1] = 1000;
    data->tear_offset_configured = 0;
    data->identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY | PAPPL_IDENTIFY_ACTIONS_SOUND;
    data->identify_default = PAPPL_IDENTIFY_ACTIONS_DISPLAY | PAPPL_IDENTIFY_ACTIONS_SOUND;
    data->identify_cb = identify;
    data->testpage_cb = printerTestLabel;
    data->has_supplies = true;
    data->status_cb = askIdlePrinter;
    data->rstartjob_cb = rasterStartJob;
    data->rendjob_cb = rasterEndJob;
    data->rstartpage_cb = rasterStartPage;
    data->rendpage_cb = rasterEndPage;
    data->rwriteline_cb = rasterWriteLine;
    // A document whose type nothing tells stays application/octet-stream;
    // PAPPL hands it to the driver as the printer's own format, and the
    // driver refuses it with the reason.
    data->format = "application/octet-stream";
    data->printfile_cb = printRaw;
    fillMedia(*data);
    data->num_vendor = static_cast<int>(settingFields().size());
    for (int i = 0; i < data->num_vendor; ++i)
        data->vendor[i] = settingFields()[static_cast<std::size_t>(i)].name;
    *attributes = driverAttributes();
    return true;
}

ipp_t* driverAttributes() {
    ipp_t* attributes = ippNew();
    addSupported(attributes);
    addConformance(attributes);
    return attributes;
}

void publishSettings(pappl_printer_t* printer) {
    const LabelSettings settings = appContext().printers->settings(papplPrinterGetID(printer));
    std::string error;
    if (!changePrinterSettings(printer, settings, error))
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "%s", error.c_str());
}

void labelPrinterCreated(pappl_printer_t* printer, void*) {
    pappl_supply_t supply{};
    supply.color = PAPPL_SUPPLY_COLOR_NO_COLOR;
    std::strncpy(supply.description, "Labels", sizeof supply.description - 1);
    supply.is_consumed = true;
    supply.level = -1; // the printer does not say how many are left
    supply.type = PAPPL_SUPPLY_TYPE_OTHER;
    papplPrinterSetSupplies(printer, 1, &supply);
    // Finished jobs are kept for clients to look up, the latest hundred: a
    // busy label printer would otherwise keep every one it ever printed.
    papplPrinterSetMaxCompletedJobs(printer, 100);
#ifdef LABEL_PAPPL_1_3_MENDS
    checkJobHistoryLayout(printer);
#endif
    // A site that limits printing names the group (-o print-group=GROUP).
    if (const std::string& group = appContext().printGroup; !group.empty())
        papplPrinterSetPrintGroup(printer, group.c_str());
    publishSettings(printer);
    addPrinterPages(printer);
    appContext().workers->prepare();
}
