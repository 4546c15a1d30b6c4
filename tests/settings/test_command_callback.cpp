// The configuration file's callbacks: the module-wide mode switch and the
// devmode's callback flag.
#include "settings/command_callback.h"
#include "settings/oem_devmode.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class CommandCallback : public ::testing::Test {
  protected:
    CommandCallback() {
        std::memset(&settings, 0x5C, sizeof settings);
        devobj.dwSize = sizeof devobj;
        devobj.pOEMDM = &settings;
    }
    ~CommandCallback() override { textMode.store(0); }

    const BYTE* settingsBytes() const { return reinterpret_cast<const BYTE*>(&settings); }

    OemDevMode settings;
    DEVOBJ devobj{};
};

TEST_F(CommandCallback, SwitchesTheModeOnlyForItsTwoIds) {
    struct Case {
        DWORD id;
        DWORD before;
        DWORD after;
    };
    const Case cases[] = {
        {10, 1, 0},  {10, 0, 0},  {11, 0, 1},  {11, 1, 1},         {0, 0, 0},
        {0, 1, 1},   {12, 0, 0},  {12, 1, 1},  {9, 1, 1},          {800, 0, 0},
        {800, 1, 1}, {803, 0, 0}, {803, 1, 1}, {0xFFFFFFFF, 1, 1}, {24, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "id " << c.id << " from mode " << c.before);
        textMode.store(c.before);
        INT result = 77;
        EXPECT_EQ(commandCallback(&devobj, c.id, &result), S_OK);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(textMode.load(), c.after);
    }
}

TEST_F(CommandCallback, SetsOnlyTheCallbackFlagFor800And803) {
    struct Case {
        DWORD id;
        BYTE flag;
    };
    for (const Case c : {Case{803, 1}, Case{800, 0}, Case{803, 1}}) {
        SCOPED_TRACE(c.id);
        INT result = 77;
        EXPECT_EQ(commandCallback(&devobj, c.id, &result), S_OK);
        EXPECT_EQ(result, 0);
        for (std::size_t offset = 0; offset < sizeof settings; ++offset) {
            const bool flagByte = offset >= 2208 && offset < 2212;
            const BYTE expected = !flagByte ? 0x5C : offset == 2208 ? c.flag : 0;
            ASSERT_EQ(settingsBytes()[offset], expected) << "at offset " << offset;
        }
    }
}

TEST_F(CommandCallback, LeavesTheDevModeAloneForOtherIds) {
    for (const DWORD id : {0u, 10u, 11u, 12u, 801u, 802u, 804u}) {
        SCOPED_TRACE(id);
        INT result = 77;
        EXPECT_EQ(commandCallback(&devobj, id, &result), S_OK);
        EXPECT_EQ(result, 0);
        for (std::size_t offset = 0; offset < sizeof settings; ++offset)
            ASSERT_EQ(settingsBytes()[offset], 0x5C) << "at offset " << offset;
    }
}

} // namespace
