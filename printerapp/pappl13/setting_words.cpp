// The words of the program's own settings on PAPPL's pages, without a
// strings resource: with any strings resource added, PAPPL 1.3.1 adds
// printer-strings-languages-supported to a printer's attributes again at
// each Get-Printer-Attributes, so every answer holds it once more than the
// last (ipptool's suites fail on the duplicate attribute, and the printer's
// attributes grow for as long as it runs). PAPPL's pages ask
// papplClientGetLocString for every label and value they show; the program
// defines it, answering its own settings' keys in English and handing every
// other key to the library's (reached with dlsym(RTLD_NEXT, ...)).
#include "printerapp/printers/printer_pages.h"

#include <dlfcn.h>
#include <pappl/pappl.h>

extern "C" const char* papplClientGetLocString(pappl_client_t* client, const char* key) {
    if (const char* words = settingWords(key))
        return words;
    using GetLocString = const char* (*)(pappl_client_t*, const char*);
    static const auto library =
        reinterpret_cast<GetLocString>(dlsym(RTLD_NEXT, "papplClientGetLocString"));
    return library ? library(client, key) : key;
}
