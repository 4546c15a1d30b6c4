// What a person asks of a printer at once, from its web page: feed a label,
// measure the labels loaded, beep. The commands go straight to an idle
// printer, never as a job and never into a label being sent.
#pragma once

#include "host/setup/job_setup.h"

#include <pappl/pappl.h>

#include <cstddef>
#include <optional>
#include <string>

// Sends the action's commands; nullopt once the printer took them, else why
// not, in words.
std::optional<std::string> runPrinterAction(pappl_printer_t* printer,
                                            standin::PrinterAction action);

// PAPPL's test page: the test label drawn at the loaded label's size, with
// the printer's name and settings, as a PNG file in the spool directory
// whose path goes into `buffer`; null when it cannot be made.
const char* printerTestLabel(pappl_printer_t* printer, char* buffer, std::size_t size);

// The program's own IPP operation for an action (the `action` sub-command):
// the printer's URI and "label-action" (feed, calibrate, beep) in the
// operation group; answered successful-ok once the printer took the
// commands, else client-error-not-possible with the reason as the status
// message. Administrators only, as the web page's buttons. A code of the
// vendors' range past CUPS's own (0x4001-0x4027).
inline constexpr int kLabelActionOperation = 0x4100;
bool answerActionOperation(pappl_client_t* client, void* data);

// The actions as the web page names them ("feed", "calibrate", "beep").
std::optional<standin::PrinterAction> printerActionNamed(const std::string& name);
