// PAPPL 1.3 reports a printer's reasons without their severity (a printer
// out of labels is "media-empty", one not reachable "offline") and has no
// printer-state-message of a driver's own. The program defines
// _papplPrinterCopyStateNoLock, which answers every query of a printer's
// state, to give the reasons the printer's status stands for with their
// suffixes ("media-empty-error", "offline-report") in place of the bare
// ones, and its status in words as the message (the build leaves this file
// out from PAPPL 1.4 on).
#include "printerapp/devices/printer_status.h"

#include <dlfcn.h>
#include <pappl/pappl.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The last attribute of that name: the one the library has just added.
ipp_attribute_t* lastNamed(ipp_t* ipp, const char* name) {
    ipp_attribute_t* last = nullptr;
    for (ipp_attribute_t* attribute = ippFirstAttribute(ipp); attribute;
         attribute = ippNextAttribute(ipp)) {
        if (const char* its = ippGetName(attribute); its && std::strcmp(its, name) == 0)
            last = attribute;
    }
    return last;
}

// Whether `suffixed` is `bare` with a severity suffix.
bool sameReason(const std::string& bare, const std::string& suffixed) {
    return suffixed.size() > bare.size() && suffixed.compare(0, bare.size(), bare) == 0 &&
           suffixed[bare.size()] == '-';
}

void addOurReasons(ipp_t* ipp, const PrinterStatus& status) {
    const std::vector<std::string> ours = reasonsOf(status);
    ipp_attribute_t* reasons = lastNamed(ipp, "printer-state-reasons");
    if (!reasons || ours.empty())
        return;
    std::vector<std::string> values = ours;
    for (int i = 0; i < ippGetCount(reasons); ++i) {
        const std::string value = ippGetString(reasons, i, nullptr);
        bool covered = value == "none";
        for (const std::string& reason : ours)
            covered = covered || value == reason || sameReason(value, reason);
        if (!covered)
            values.push_back(value);
    }
    // Made anew: PAPPL's values may be constant strings, which setting a
    // value would point at instead of copying.
    const ipp_tag_t group = ippGetGroupTag(reasons);
    ippDeleteAttribute(ipp, reasons);
    std::vector<const char*> texts;
    for (const std::string& value : values)
        texts.push_back(value.c_str());
    ippAddStrings(ipp, group, IPP_TAG_KEYWORD, "printer-state-reasons",
                  static_cast<int>(texts.size()), nullptr, texts.data());
}

} // namespace

extern "C" void _papplPrinterCopyStateNoLock(pappl_printer_t* printer, ipp_tag_t group, ipp_t* ipp,
                                             pappl_client_t* client, cups_array_t* requested) {
    using Copy = void (*)(pappl_printer_t*, ipp_tag_t, ipp_t*, pappl_client_t*, cups_array_t*);
    static const auto library =
        reinterpret_cast<Copy>(dlsym(RTLD_NEXT, "_papplPrinterCopyStateNoLock"));
    library(printer, group, ipp, client, requested);
    // The caller holds the printer's lock; its ID is read without one.
    const PrinterStatus status = printerStatuses().of(papplPrinterGetID(printer));
    addOurReasons(ipp, status);
    static const char kMessage[] = "printer-state-message";
    const std::string message = messageOf(status);
    if (message.empty() || (requested && !cupsArrayFind(requested, const_cast<char*>(kMessage))))
        return;
    if (ipp_attribute_t* existing = lastNamed(ipp, kMessage))
        ippDeleteAttribute(ipp, existing);
    ippAddString(ipp, group, IPP_TAG_TEXT, kMessage, nullptr, message.c_str());
}
