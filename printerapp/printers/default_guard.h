// Every change of a printer's defaults passes through the program's own
// papplPrinterSetDriverDefaults (default_guard.cpp), which checks the label
// settings and keeps them as the plug-in's block.
#pragma once

#include "printerapp/printers/label_settings.h"

#include <pappl/pappl.h>

#include <string>

// The settings as PAPPL's vendor options ("label-shift-x" = "2", ...), for
// cupsFreeOptions.
int vendorOptions(const LabelSettings& settings, cups_option_t** options);

// The label modes and media trackings a printer is offered, as PAPPL's bits.
pappl_label_mode_t supportedLabelModes();
pappl_media_tracking_t supportedTracking();

// The printer's label settings stored as its block and shown as PAPPL's
// defaults; false with `error`, and neither changed, when the block cannot be
// written or PAPPL refuses.
bool changePrinterSettings(pappl_printer_t* printer, const LabelSettings& settings,
                           std::string& error);
