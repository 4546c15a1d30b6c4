// Loading the font metrics file and the lifetime of the module's one image.
#include "platform/host/test_controls.h"
#include "text/font_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

// A printer driver directory of its own for each test, named through the
// environment as the spooler would report it.
class FontFile : public ::testing::Test {
  protected:
    void SetUp() override {
        directory = fs::temp_directory_path() /
                    ("label-font-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                     "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(directory / "3");
        setenv("PRINTER_DRIVER_DIR", directory.c_str(), 1);
        dropFontImage();
    }
    void TearDown() override {
        dropFontImage();
        unsetenv("PRINTER_DRIVER_DIR");
        fs::remove_all(directory);
    }

    void writeFontFile(const std::string& bytes) {
        std::ofstream(directory / "3" / "ZIKU.UFM", std::ios::binary) << bytes;
    }

    static std::string bytesOf(const FontImage* image) {
        return std::string(reinterpret_cast<const char*>(image->bytes()), image->size);
    }

    fs::path directory;
};

} // namespace

TEST_F(FontFile, ImageHoldsTheFileByteForByte) {
    const std::string content("UFM\0\x01\x02\xff metrics", 16);
    writeFontFile(content);
    FontImage* image = loadFontImage();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(bytesOf(image), content);
    installFontImage(image);
}

TEST_F(FontFile, EmptyFileGivesAnEmptyImage) {
    writeFontFile("");
    FontImage* image = loadFontImage();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size, 0u);
    installFontImage(image);
}

TEST_F(FontFile, NoImageWithoutDirectoryFileOrMemory) {
    EXPECT_EQ(loadFontImage(), nullptr) << "no file yet";
    writeFontFile("metrics");
    platform::host::failNthAllocation(1);
    EXPECT_EQ(loadFontImage(), nullptr) << "no memory for the image";
    platform::host::failNthAllocation(0);
    unsetenv("PRINTER_DRIVER_DIR");
    EXPECT_EQ(loadFontImage(), nullptr) << "no driver directory";
}

TEST_F(FontFile, PathMustFitItsBuffer) {
    // 256 units with the terminator: the directory may take 256 - 11 - 1.
    const std::string name = "\\3\\ZIKU.UFM";
    std::string longest(256 - name.size() - 1, 'd');
    setenv("PRINTER_DRIVER_DIR", longest.c_str(), 1);
    EXPECT_EQ(loadFontImage(), nullptr) << "fits, but no such file";
    setenv("PRINTER_DRIVER_DIR", (longest + "d").c_str(), 1);
    EXPECT_EQ(loadFontImage(), nullptr);
}

TEST_F(FontFile, ReaderLoadsOnDemandAndPicksUpALaterFile) {
    {
        FontImageUse use;
        EXPECT_EQ(use.get(), nullptr);
    }
    writeFontFile("late");
    FontImageUse use;
    ASSERT_NE(use.get(), nullptr);
    EXPECT_EQ(bytesOf(use.get()), "late");
}

TEST_F(FontFile, DroppedImageStaysValidForItsReaders) {
    writeFontFile("first");
    installFontImage(loadFontImage());
    const auto live = platform::host::liveAllocations();
    {
        FontImageUse reader;
        ASSERT_NE(reader.get(), nullptr);
        dropFontImage(); // another device is disabled meanwhile
        EXPECT_EQ(bytesOf(reader.get()), "first");
        EXPECT_EQ(platform::host::liveAllocations(), live);
    }
    EXPECT_EQ(platform::host::liveAllocations(), live - 1) << "freed with its last reader";
}

TEST_F(FontFile, DevicesOnThreadsNeverReadAFreedImage) {
    writeFontFile(std::string(4096, 'm'));
    auto enableAndDisable = [] {
        for (int i = 0; i < 200; ++i) {
            installFontImage(loadFontImage());
            dropFontImage();
        }
    };
    auto query = [this] {
        for (int i = 0; i < 200; ++i) {
            FontImageUse use;
            if (use.get()) {
                EXPECT_EQ(bytesOf(use.get()), std::string(4096, 'm'));
            }
        }
    };
    std::thread a(enableAndDisable), b(query), c(query);
    a.join();
    b.join();
    c.join();
}
