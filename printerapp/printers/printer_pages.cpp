#include "printerapp/printers/printer_pages.h"

#include "decoder/label_decoder.h"
#include "imaging/page_image_reader.h"
#include "printerapp/devices/printer_status.h"
#include "printerapp/printers/default_guard.h"
#include "printerapp/printers/pack_bits.h"
#include "printerapp/printers/printer_actions.h"
#include "printerapp/system/app_context.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

constexpr char kSettingsPage[] = "label-settings";
constexpr char kPicture[] = "last-label.png";

// The last label program each printer received, packed, and a number that
// changes with it; the picture is drawn only when the page asks for it.
struct LastLabel {
    unsigned long serial = 0;
    std::vector<std::uint8_t> packed;
};

std::mutex lastLabelsLock;
std::map<int, LastLabel> lastLabels;
unsigned long labelsKept = 0;

LastLabel lastLabelOf(int printerId) {
    const std::lock_guard<std::mutex> hold(lastLabelsLock);
    const auto found = lastLabels.find(printerId);
    return found == lastLabels.end() ? LastLabel{} : found->second;
}

// The label drawn as labelview --png draws it, as PNG bytes; empty when the
// program does not decode or the picture cannot be written.
std::vector<char> pictureOf(int printerId, const std::vector<std::uint8_t>& program) {
    const LabelStream stream = decodeLabelStream(program.data(), program.size());
    if (stream.labels.empty())
        return {};
    static std::atomic<unsigned> drawn{0};
    const std::string file = appContext().spoolDirectory + "/last-label-" +
                             std::to_string(printerId) + "." + std::to_string(drawn++) + ".png";
    std::string error;
    std::vector<char> bytes;
    if (writePng(file, labelPicture(stream.labels.back()), error)) {
        if (std::FILE* png = std::fopen(file.c_str(), "rb")) {
            char block[1 << 14];
            std::size_t got;
            while ((got = std::fread(block, 1, sizeof block, png)) > 0)
                bytes.insert(bytes.end(), block, block + got);
            std::fclose(png);
        }
    }
    std::remove(file.c_str());
    return bytes;
}

std::string pathOf(pappl_printer_t* printer, const char* leaf) {
    char path[1024];
    papplPrinterGetPath(printer, leaf, path, sizeof path);
    return path;
}

// The form's values checked one by one into a copy of the settings: every
// message when any is wrong, and then nothing is kept.
std::vector<std::string> applyForm(LabelSettings& settings, int count, cups_option_t* form) {
    std::vector<std::string> problems;
    for (const SettingField& field : settingFields()) {
        const char* value = cupsGetOption(field.name, count, form);
        if (field.kind == SettingKind::kBoolean)
            value = value ? "true" : "false"; // an unticked box is not sent
        if (!value)
            continue;
        if (auto problem = setSetting(settings, field, value))
            problems.push_back(*problem);
    }
    // The label mode and its offset count as set once they differ from what
    // the page showed: saving the page as shown sends the printer nothing new.
    standin::MediaSetup& setup = settings.setup;
    if (const char* mode = cupsGetOption("label-mode", count, form);
        mode && standin::labelModeName(setup.mode.value_or(standin::LabelMode::kTearOff)) !=
                    std::string(mode)) {
        setup.mode = standin::labelModeNamed(mode);
        if (!setup.mode)
            problems.push_back(std::string("Label mode: ") + mode + " is not one of the modes");
    }
    if (const char* offset = cupsGetOption("label-offset", count, form);
        offset && standin::millimetres(setup.modeOffset.value_or(0)) != offset) {
        const auto hundredths = standin::parseMillimetres(offset);
        if (!hundredths || std::abs(*hundredths) > standin::kMaxOffset)
            problems.push_back(std::string("Feed after printing: ") + offset +
                               " is not a length from -100 to 100 mm");
        else
            setup.modeOffset = hundredths;
    }
    if (const char* darkness = cupsGetOption("printer-darkness", count, form)) {
        char* end = nullptr;
        const long value = std::strtol(darkness, &end, 10);
        if (*darkness == '\0' || *end != '\0' || value < 0 || value > 100)
            problems.push_back(std::string("Darkness: ") + darkness +
                               " is out of range (from 0 to 100)");
        else if (static_cast<int>(value) != darknessOfDensity(settings.block.density))
            settings.block.density = densityOfDarkness(static_cast<int>(value));
    }
    return problems;
}

struct ModeWords {
    standin::LabelMode mode;
    const char* words;
};
const ModeWords kModeWords[] = {
    {standin::LabelMode::kTearOff, "Tear off"},
    {standin::LabelMode::kPeelOff, "Peel off"},
    {standin::LabelMode::kCutter, "Cut each label"},
    {standin::LabelMode::kCutterDelayed, "Cut after a job's last label"},
};

// The print direction's values in words.
const char* const kDirections[] = {"Normal", "Turned half a turn (upside down)"};

void showField(pappl_client_t* client, const LabelSettings& settings, const SettingField& field) {
    const std::string value = settingValue(settings, field);
    papplClientHTMLPrintf(client, "<tr><th><label for=\"%s\">%s:</label></th><td>", field.name,
                          field.label);
    switch (field.kind) {
    case SettingKind::kBoolean:
        papplClientHTMLPrintf(client, "<input type=\"checkbox\" id=\"%s\" name=\"%s\"%s>",
                              field.name, field.name, value == "true" ? " checked" : "");
        break;
    case SettingKind::kInteger:
        if (std::strcmp(field.name, "label-direction") == 0) {
            papplClientHTMLPrintf(client, "<select id=\"%s\" name=\"%s\">", field.name, field.name);
            for (int direction = 0; direction < 2; ++direction)
                papplClientHTMLPrintf(client, "<option value=\"%d\"%s>%s</option>", direction,
                                      value == std::to_string(direction) ? " selected" : "",
                                      kDirections[direction]);
            papplClientHTMLPuts(client, "</select>");
            break;
        }
        [[fallthrough]];
    case SettingKind::kLength:
        papplClientHTMLPrintf(client,
                              "<input type=\"text\" inputmode=\"decimal\" size=\"8\" "
                              "id=\"%s\" name=\"%s\" value=\"%s\">",
                              field.name, field.name, value.c_str());
        break;
    case SettingKind::kHexCommand:
        papplClientHTMLPrintf(client,
                              "<input type=\"text\" class=\"label-command\" id=\"%s\" "
                              "name=\"%s\" value=\"",
                              field.name, field.name);
        papplClientHTMLEscape(client, value.c_str(), 0);
        papplClientHTMLPuts(client, "\">");
        break;
    }
    papplClientHTMLPuts(client, "</td></tr>\n");
}

void showLabelMode(pappl_client_t* client, const standin::MediaSetup& setup) {
    const standin::LabelMode shown = setup.mode.value_or(standin::LabelMode::kTearOff);
    papplClientHTMLPuts(client, "<tr><th><label for=\"label-mode\">Label mode:</label></th><td>"
                                "<select id=\"label-mode\" name=\"label-mode\">");
    for (const ModeWords& mode : kModeWords)
        papplClientHTMLPrintf(client, "<option value=\"%s\"%s>%s</option>",
                              standin::labelModeName(mode.mode),
                              mode.mode == shown ? " selected" : "", mode.words);
    papplClientHTMLPrintf(
        client,
        "</select></td></tr>\n<tr><th><label for=\"label-offset\">Feed after printing, to "
        "the tear bar, peeler or cutter (mm):</label></th><td><input type=\"text\" "
        "inputmode=\"decimal\" size=\"8\" id=\"label-offset\" name=\"label-offset\" "
        "value=\"%s\"></td></tr>\n",
        standin::millimetres(setup.modeOffset.value_or(0)).c_str());
}

// Buttons that have the printer do something at once; the test label is
// PAPPL's test page.
void showActions(pappl_client_t* client, pappl_printer_t* printer) {
    papplClientHTMLPuts(client, "<h2 class=\"title\">Printer actions</h2>\n");
    papplClientHTMLStartForm(client, papplClientGetURI(client), false);
    papplClientHTMLPuts(client, "<p><button type=\"submit\" name=\"action\" value=\"feed\" "
                                "id=\"action-feed\">Feed one label</button> "
                                "<button type=\"submit\" name=\"action\" value=\"calibrate\" "
                                "id=\"action-calibrate\">Measure the labels (calibrate)</button> "
                                "<button type=\"submit\" name=\"action\" value=\"beep\" "
                                "id=\"action-beep\">Beep</button></p></form>\n");
    // PAPPL's own test page action, on the printer's page.
    papplClientHTMLStartForm(client, (pathOf(printer, nullptr) + "/").c_str(), false);
    papplClientHTMLPuts(client, "<p><input type=\"hidden\" name=\"action\" "
                                "value=\"print-test-page\"><button type=\"submit\" "
                                "id=\"action-test-label\">Print a test label</button></p>"
                                "</form>\n");
}

// What the printer last said of itself, in words.
std::string statusLine(pappl_printer_t* printer, const LabelSettings& settings) {
    const char* uri = papplPrinterGetDeviceURI(printer);
    if (!uri || std::strncmp(uri, "socket://", 9) != 0)
        return "Not asked (only network printers are asked for their status)";
    if (!settings.statusQuery)
        return "Not asked (the status query is off)";
    const PrinterStatus status = printerStatuses().of(papplPrinterGetID(printer));
    if (const std::string message = messageOf(status); !message.empty())
        return message;
    if (!status.answer)
        return status.asked == std::chrono::steady_clock::time_point{}
                   ? "Not asked yet"
                   : "The printer does not answer the status query";
    return (*status.answer & kPrinting) ? "Printing" : "Ready";
}

void showPage(pappl_client_t* client, pappl_printer_t* printer, const LabelSettings& settings,
              const std::vector<std::string>& problems, bool saved, const std::string& actionDone) {
    papplClientHTMLPrinterHeader(client, printer, "Label settings", 0, nullptr, nullptr);
    papplClientHTMLPuts(client, "<p id=\"printer-status\">Printer status: ");
    papplClientHTMLEscape(client, statusLine(printer, settings).c_str(), 0);
    papplClientHTMLPuts(client, ".</p>\n");
    if (saved)
        papplClientHTMLPuts(client, "<div class=\"banner\" id=\"message\">Settings saved.</div>\n");
    if (!actionDone.empty()) {
        papplClientHTMLPuts(client, "<div class=\"banner\" id=\"message\">");
        papplClientHTMLEscape(client, actionDone.c_str(), 0);
        papplClientHTMLPuts(client, ".</div>\n");
    }
    if (!problems.empty()) {
        papplClientHTMLPuts(client, "<div class=\"banner\" id=\"message\">");
        for (const std::string& problem : problems) {
            papplClientHTMLEscape(client, problem.c_str(), 0);
            papplClientHTMLPuts(client, ".<br>");
        }
        papplClientHTMLPuts(client, "Nothing was changed.</div>\n");
    }
    // The form and the picture side by side where there is room, one under
    // the other on a phone: PAPPL's half-width columns keep their width on
    // a narrow screen, and the picture then lay over the form.
    papplClientHTMLPuts(client,
                        "<style>.label-page{display:flex;flex-wrap:wrap;gap:1em}"
                        ".label-page>div{flex:1 1 22em;min-width:0}"
                        ".label-page table.form{width:100%}"
                        ".label-page input,.label-page select{max-width:100%;box-sizing:border-box}"
                        ".label-page input.label-command{width:100%}"
                        ".label-page th{white-space:normal}"
                        "@media (max-width:600px){.label-page table.form,.label-page "
                        "table.form tbody,.label-page table.form tr,.label-page table.form th,"
                        ".label-page table.form td{display:block;text-align:left;width:auto}}"
                        "</style>\n<div class=\"label-page\"><div>\n");
    papplClientHTMLStartForm(client, papplClientGetURI(client), false);
    papplClientHTMLPuts(client, "<table class=\"form\">\n");
    papplClientHTMLPrintf(
        client,
        "<tr><th><label for=\"printer-darkness\">Darkness (0-100 %%):</label></th>"
        "<td><input type=\"text\" id=\"printer-darkness\" "
        "name=\"printer-darkness\" value=\"%d\"></td></tr>\n",
        darknessOfDensity(settings.block.density));
    for (const SettingField& field : settingFields())
        showField(client, settings, field);
    showLabelMode(client, settings.setup);
    papplClientHTMLPuts(client, "<tr><th></th><td><input type=\"submit\" id=\"save\" "
                                "value=\"Save Changes\"></td></tr></table></form>\n");
    showActions(client, printer);
    papplClientHTMLPuts(client, "</div><div><h2 class=\"title\">Last label</h2>\n");
    if (const unsigned long serial = lastLabelOf(papplPrinterGetID(printer)).serial)
        papplClientHTMLPrintf(client,
                              "<img id=\"last-label\" style=\"border: thin solid gray; "
                              "max-width: 100%%;\" src=\"%s?%lu\" alt=\"The last label\">\n",
                              pathOf(printer, kPicture).c_str(), serial);
    else
        papplClientHTMLPuts(client, "<p id=\"last-label-none\">No label printed yet.</p>\n");
    papplClientHTMLPuts(client, "</div></div>\n");
    papplClientHTMLPrinterFooter(client);
}

// GET shows the settings; POST, from a signed-in user with the page's own
// form, checks and keeps them.
bool settingsPage(pappl_client_t* client, void* data) {
    auto* printer = static_cast<pappl_printer_t*>(data);
    if (!papplClientHTMLAuthorize(client))
        return true;
    const int printerId = papplPrinterGetID(printer);
    LabelSettings settings = appContext().printers->settings(printerId);
    std::vector<std::string> problems;
    bool saved = false;
    std::string actionDone;
    if (papplClientGetMethod(client) == HTTP_STATE_POST) {
        cups_option_t* form = nullptr;
        const int count = papplClientGetForm(client, &form);
        if (!papplClientIsValidForm(client, count, form)) {
            problems.push_back("The form has expired or is not this page's own.");
        } else if (const char* action = cupsGetOption("action", count, form)) {
            const auto named = printerActionNamed(action);
            const auto problem = named ? runPrinterAction(printer, *named)
                                       : std::optional<std::string>("No such action");
            actionDone = problem ? *problem : std::string("Sent to the printer");
        } else {
            LabelSettings changed = settings;
            problems = applyForm(changed, count, form);
            std::string error;
            if (problems.empty() && !changePrinterSettings(printer, changed, error))
                problems.push_back(error);
            if (problems.empty()) {
                settings = changed;
                saved = true;
            }
        }
        cupsFreeOptions(count, form);
    }
    // The page's header sends the HTTP response.
    showPage(client, printer, settings, problems, saved, actionDone);
    return true;
}

bool pictureResource(pappl_client_t* client, void* data) {
    auto* printer = static_cast<pappl_printer_t*>(data);
    const int printerId = papplPrinterGetID(printer);
    const std::vector<char> bytes = pictureOf(printerId, unpackBits(lastLabelOf(printerId).packed));
    if (bytes.empty())
        return papplClientRespond(client, HTTP_STATUS_NOT_FOUND, nullptr, nullptr, 0, 0);
    if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "image/png", 0, bytes.size()))
        return false;
    return httpWrite2(papplClientGetHTTP(client), bytes.data(), bytes.size()) >= 0;
}

// Each setting's words, and each print direction's.
const std::map<std::string, std::string>& wordsByKey() {
    static const std::map<std::string, std::string> words = [] {
        std::map<std::string, std::string> all;
        for (const SettingField& field : settingFields())
            all[field.name] = field.label;
        // PAPPL's menu shows the directions' numbers.
        all["label-direction"] = "Print direction (0 normal, 1 turned half a turn)";
        for (int direction = 0; direction < 2; ++direction)
            all["label-direction." + std::to_string(direction)] = kDirections[direction];
        return all;
    }();
    return words;
}

} // namespace

const char* settingWords(const char* key) {
    const auto& words = wordsByKey();
    const auto found = key ? words.find(key) : words.end();
    return found == words.end() ? nullptr : found->second.c_str();
}

void addSettingWords([[maybe_unused]] pappl_system_t* system) {
#ifndef LABEL_PAPPL_1_3_MENDS
    // Kept for the system's life: PAPPL keeps the pointer.
    static const std::string strings = [] {
        std::string all;
        for (const auto& [key, text] : wordsByKey())
            all += "\"" + key + "\" = \"" + text + "\";\n";
        return all;
    }();
    papplSystemAddStringsData(system, "/en.strings", "en", strings.c_str());
#endif
}

void addPrinterPages(pappl_printer_t* printer) {
    pappl_system_t* system = papplPrinterGetSystem(printer);
    const std::string page = pathOf(printer, kSettingsPage);
    papplSystemAddResourceCallback(system, page.c_str(), "text/html", settingsPage, printer);
    papplSystemAddResourceCallback(system, pathOf(printer, kPicture).c_str(), "image/png",
                                   pictureResource, printer);
    papplPrinterAddLink(
        printer, "Label settings", page.c_str(),
        static_cast<pappl_loptions_t>(PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_STATUS));
}

void keepLabelPicture(int printerId, const std::vector<std::uint8_t>& labelProgram) {
    std::vector<std::uint8_t> packed = packBits(labelProgram.data(), labelProgram.size());
    const std::lock_guard<std::mutex> hold(lastLabelsLock);
    lastLabels[printerId] = {++labelsKept, std::move(packed)};
}
