// Every change of a printer's defaults passes through the program's own
// papplPrinterSetDriverDefaults (default_guard.cpp), which checks the label
// settings and keeps them as the plug-in's block.
#pragma once

#include "printerapp/label_settings.h"

#include <pappl/pappl.h>

// The settings as PAPPL's vendor options ("label-shift-x" = "2", ...), for
// cupsFreeOptions.
int vendorOptions(const LabelSettings& settings, cups_option_t** options);
