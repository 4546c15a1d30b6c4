// The media setup a job begins with, and the settings that hold it.
#include "host/setup/command_text.h"
#include "host/setup/job_setup.h"
#include "printerapp/printers/label_settings.h"
#include "support/scratch_files.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using standin::LabelMode;
using standin::MediaSetup;
using standin::MediaTracking;
using tools_test::readFile;
using tools_test::ScratchDir;

std::string commandsOf(const MediaSetup& setup, int dpi = 203) {
    const auto bytes = standin::jobSetupCommands(setup, dpi);
    return {bytes.begin(), bytes.end()};
}

MediaSetup with(const std::function<void(MediaSetup&)>& edit) {
    MediaSetup setup;
    edit(setup);
    return setup;
}

TEST(JobSetup, EachSettingSendsItsCommandAndNothingElse) {
    const struct {
        const char* what;
        MediaSetup setup;
        const char* commands;
    } cases[] = {
        {"nothing set", {}, ""},
        {"speed", with([](auto& s) { s.speed = 4; }), "SPEED 4\r\n"},
        {"gap", with([](auto& s) { s.tracking = MediaTracking::kGap; }), "GAP 3 mm,0 mm\r\n"},
        {"gap of 2.5 mm",
         with([](auto& s) { s.tracking = MediaTracking::kGap, s.sensingLength = 250; }),
         "GAP 2.5 mm,0 mm\r\n"},
        {"mark", with([](auto& s) { s.tracking = MediaTracking::kMark, s.sensingLength = 505; }),
         "BLINE 5.05 mm,0 mm\r\n"},
        {"continuous", with([](auto& s) { s.tracking = MediaTracking::kContinuous; }),
         "GAP 0,0\r\n"},
        {"tear-off", with([](auto& s) { s.mode = LabelMode::kTearOff; }),
         "SET CUTTER OFF\r\nSET PEEL OFF\r\nSET TEAR ON\r\n"},
        {"peel-off", with([](auto& s) { s.mode = LabelMode::kPeelOff; }),
         "SET CUTTER OFF\r\nSET PEEL ON\r\n"},
        {"cutter", with([](auto& s) { s.mode = LabelMode::kCutter; }),
         "SET PEEL OFF\r\nSET CUTTER 1\r\n"},
        {"cutter-delayed", with([](auto& s) { s.mode = LabelMode::kCutterDelayed; }),
         "SET PEEL OFF\r\nSET CUTTER BATCH\r\n"},
        {"label offset", with([](auto& s) { s.modeOffset = -150; }), "OFFSET -1.5 mm\r\n"},
        {"top offset 2 mm at 203 dpi", with([](auto& s) { s.topOffset = 200; }), "SHIFT 16\r\n"},
        {"top offset back to 0", with([](auto& s) { s.topOffset = 0; }), "SHIFT 0\r\n"},
        {"top offset up", with([](auto& s) { s.topOffset = -125; }), "SHIFT -10\r\n"},
        {"all, in the order a printer wants them", with([](auto& s) {
             s.speed = 3, s.tracking = MediaTracking::kMark, s.mode = LabelMode::kPeelOff,
             s.modeOffset = 100, s.topOffset = 100;
         }),
         "SPEED 3\r\nBLINE 3 mm,0 mm\r\nSET CUTTER OFF\r\nSET PEEL ON\r\nOFFSET 1 mm\r\nSHIFT "
         "8\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(commandsOf(c.setup), c.commands) << c.what;
    EXPECT_EQ(commandsOf(with([](auto& s) { s.topOffset = 200; }), 300), "SHIFT 24\r\n");
}

TEST(JobSetup, MillimetresReadAndWrittenAsPeopleAndPrintersDo) {
    const struct {
        const char* text;
        std::optional<int> hundredths;
    } cases[] = {{"3", 300},
                 {"2.5", 250},
                 {"2,5", 250},
                 {"2.54", 254},
                 {"-1.25", -125},
                 {"4 mm", 400},
                 {"4mm", 400},
                 {"0", 0},
                 {".5", 50},
                 {"", std::nullopt},
                 {"-", std::nullopt},
                 {"2.555", std::nullopt},
                 {"3 in", std::nullopt},
                 {"1e3", std::nullopt},
                 {"99999999999", std::nullopt}};
    for (const auto& c : cases)
        EXPECT_EQ(standin::parseMillimetres(c.text), c.hundredths) << c.text;
    for (int hundredths : {0, 5, 50, 250, 254, 300, -125, -7, 100000})
        EXPECT_EQ(standin::parseMillimetres(standin::millimetres(hundredths)), hundredths);
}

TEST(JobSetup, TypedCommandsAreHexadecimalOrTheirOwnText) {
    const struct {
        const char* typed;
        const char* hex; // null: refused
    } cases[] = {
        {"1B40", "1B40"},
        {"1b 40", "1B40"},
        {"SOUND 3,100", "534F554E4420332C3130300D0A"},
        {"CLS\nHOME", "434C530D0A484F4D450D0A"},
        {"CLS\r\n", "434C530D0A"},
        {"\"FEED 10\"", "46454544203130"
                        "0D0A"}, // quoted: text, not FE ED 10
        {"FEED 10", "FEED10"},
        {"ABC", nullptr}, // an odd number of digits is a typing mistake
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string problem;
        const auto hex = standin::typedCommandAsHex(c.typed, 129, problem);
        if (c.hex)
            EXPECT_EQ(hex, std::optional<std::string>(c.hex)) << c.typed << ": " << problem;
        else
            EXPECT_FALSE(hex) << c.typed;
    }
    std::string problem;
    EXPECT_FALSE(standin::typedCommandAsHex(std::string(200, 'X'), 129, problem));
    EXPECT_EQ(problem, "at most 129 bytes");
}

TEST(JobSetup, SettingsFileKeepsTheSetupAndOlderFilesLoadWithNone) {
    ScratchDir dir;
    LabelSettings settings = defaultLabelSettings();
    settings.setup = with([](auto& s) {
        s.speed = 5, s.tracking = MediaTracking::kContinuous, s.sensingLength = 250,
        s.mode = LabelMode::kCutter, s.modeOffset = -20, s.topOffset = 0;
    });
    std::string error;
    const std::string path = dir.path("printer.settings");
    ASSERT_TRUE(saveLabelSettings(path, settings, error)) << error;
    const auto loaded = loadLabelSettings(path, error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_TRUE(*loaded == settings);

    // A file from before the setup was kept: the block and three lines.
    std::string bytes = readFile(path);
    bytes.resize(bytes.rfind("setup "));
    dir.write("printer.settings", bytes);
    const auto older = loadLabelSettings(path, error);
    ASSERT_TRUE(older) << error;
    EXPECT_TRUE(older->setup == MediaSetup{});
    EXPECT_EQ(older->codePage, settings.codePage);
}

TEST(JobSetup, SettingFieldsTakeCommandTextAndLengths) {
    LabelSettings settings = defaultLabelSettings();
    const auto field = [](const std::string& name) {
        for (const SettingField& f : settingFields())
            if (name == f.name)
                return f;
        ADD_FAILURE() << name;
        return settingFields().front();
    };
    EXPECT_FALSE(setSetting(settings, field("label-job-start-command"), "SOUND 3,100"));
    EXPECT_EQ(settingValue(settings, field("label-job-start-command")),
              "534F554E4420332C3130300D0A");
    EXPECT_FALSE(setSetting(settings, field("label-sensing-length"), "2.5"));
    EXPECT_EQ(settings.setup.sensingLength, 250);
    EXPECT_EQ(settingValue(settings, field("label-sensing-length")), "2.5");
    for (const char* refused : {"0", "30", "two", "-1"})
        EXPECT_TRUE(setSetting(settings, field("label-sensing-length"), refused)) << refused;
    EXPECT_EQ(settings.setup.sensingLength, 250);
}

} // namespace
