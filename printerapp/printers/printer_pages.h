// The printer's own web page: its label settings, changed with a form, and a
// picture of the last label it received.
#pragma once

#include <pappl/pappl.h>

#include <cstdint>
#include <string>
#include <vector>

// Words for the program's own settings and their values on PAPPL's pages
// ("label-shift-x", "label-direction.1"): PAPPL shows an attribute's name
// unless its localization names it. Null for any other key.
const char* settingWords(const char* key);

// The same words as a strings resource of PAPPL's, where that serves
// (pappl13/setting_words.cpp has PAPPL 1.3 ask settingWords() instead).
void addSettingWords(pappl_system_t* system);

// Adds the page and the picture to the printer's part of the web interface.
void addPrinterPages(pappl_printer_t* printer);

// Keeps the last label a printer received, to be drawn beside its settings
// as labelview --png draws it when the page asks.
void keepLabelPicture(int printerId, const std::vector<std::uint8_t>& labelProgram);
