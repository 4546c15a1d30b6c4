// The driver "label_203dpi": what a 203-dpi monochrome label printer
// supports, as PAPPL and IPP clients see it.
#pragma once

#include <pappl/pappl.h>

inline constexpr char kDriverName[] = "label_203dpi";
inline constexpr int kPrinterDpi = 203;

// PAPPL's driver callback: fills the driver data and the attributes PAPPL
// does not add of its own.
bool labelDriver(pappl_system_t* system, const char* driverName, const char* deviceUri,
                 const char* deviceId, pappl_pr_driver_data_t* data, ipp_t** attributes,
                 void* context);

// The attributes the driver adds to PAPPL's own, for the caller to delete.
ipp_t* driverAttributes();

// After a printer is created or loaded: its settings as the printer's
// defaults, its supplies and its web page's links.
void labelPrinterCreated(pappl_printer_t* printer, void* context);

// The printer's vendor defaults (IPP "label-...-default") from its settings.
void publishSettings(pappl_printer_t* printer);
