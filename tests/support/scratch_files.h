// Files for the image and label tool tests, in a directory of their own.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "imaging/bilevel_image.h"

namespace tools_test {

// A fresh directory per test, removed with everything in it afterwards.
class ScratchDir {
  public:
    ScratchDir() {
        static std::atomic<unsigned> counter{0};
        std::random_device random;
        dir_ = std::filesystem::temp_directory_path() /
               ("label-tools-" + std::to_string(random()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(dir_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    std::string write(const std::string& name, const std::string& bytes) const {
        const std::string file = path(name);
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }

  private:
    std::filesystem::path dir_;
};

// The picture as rows of '#' (printed) and '.' (blank), easy to read in a
// failure message.
inline std::vector<std::string> rowsOf(const BilevelImage& image) {
    std::vector<std::string> rows;
    for (int y = 0; y < image.height; ++y) {
        std::string row;
        for (int x = 0; x < image.width; ++x)
            row += image.dot(x, y) ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

inline double printedShare(const BilevelImage& image) {
    size_t printed = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            printed += image.dot(x, y) ? 1 : 0;
    return static_cast<double>(printed) / (static_cast<double>(image.width) * image.height);
}

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs a built tool with shell-quoted `arguments`, no standard input, and
// keeps what it printed.
inline RunResult runProgram(const ScratchDir& dir, const std::string& program,
                            const std::string& arguments) {
    const std::string out = dir.path("stdout.txt");
    const std::string err = dir.path("stderr.txt");
    const std::string command =
        "'" + program + "' " + arguments + " >'" + out + "' 2>'" + err + "' </dev/null";
    const int status = std::system(command.c_str());
    RunResult result;
    if (status != -1 && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
}

} // namespace tools_test
