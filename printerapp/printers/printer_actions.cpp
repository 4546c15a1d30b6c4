#include "printerapp/printers/printer_actions.h"

#include "printerapp/devices/printer_link.h"
#include "printerapp/system/app_context.h"

#include <chrono>
#include <cstring>

namespace {

// A printer that takes nothing for this long does not get the action.
constexpr auto kActionWithin = std::chrono::seconds(5);

bool answersBack(const char* uri) {
    return uri && (std::strncmp(uri, "socket://", 9) == 0 || std::strncmp(uri, "usb://", 6) == 0);
}

} // namespace

std::optional<standin::PrinterAction> printerActionNamed(const std::string& name) {
    if (name == "feed")
        return standin::PrinterAction::kFeed;
    if (name == "calibrate")
        return standin::PrinterAction::kCalibrate;
    if (name == "beep")
        return standin::PrinterAction::kBeep;
    return std::nullopt;
}

std::optional<std::string> runPrinterAction(pappl_printer_t* printer,
                                            standin::PrinterAction action) {
    if (!answersBack(papplPrinterGetDeviceURI(printer)))
        return std::string("Only a USB or network printer can do this; this printer's labels go "
                           "to a file");
    const standin::MediaSetup setup =
        appContext().printers->settings(papplPrinterGetID(printer)).setup;
    const std::vector<std::uint8_t> commands = standin::printerActionCommands(action, setup);
    if (commands.empty())
        return std::string("A continuous roll has no gaps or marks to measure");
    if (papplPrinterGetState(printer) == IPP_PSTATE_PROCESSING)
        return std::string("The printer is printing; try again when it is idle");
    // Null while a job has the device: the job's labels are not cut into.
    pappl_device_t* device = papplPrinterOpenDevice(printer);
    if (!device)
        return std::string("The printer is busy or cannot be reached; try again in a moment");
    std::optional<std::string> problem;
    PrinterLink* link = linkOf(device);
    if (!link) {
        problem = "The printer cannot be reached";
    } else {
        const auto giveUp = std::chrono::steady_clock::now() + kActionWithin;
        link->abandon = [giveUp] { return std::chrono::steady_clock::now() > giveUp; };
        if (!link->write(commands.data(), commands.size()))
            problem =
                "The printer did not take the command (" +
                (link->error().empty() ? std::string("it took nothing for 5 s") : link->error()) +
                ")";
        link->abandon = nullptr;
    }
    papplPrinterCloseDevice(printer);
    return problem;
}
