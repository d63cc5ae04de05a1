#include "common/input_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

#include "support/scratch_dir.h"

namespace {

using common::InputFileError;
using testing_support::ScratchDir;
using testing_support::writeBytes;

constexpr std::size_t kBound = 16;

struct InputCase {
    const char* name;
    // Prepares the folder and gives the path to read.
    std::function<std::string(const ScratchDir&)> prepare;
    InputFileError error = InputFileError::None;
    std::string bytes{};   // read, when error is None
    const char* why = "";  // in the message, besides the path
};

void PrintTo(const InputCase& c, std::ostream* os) {
    *os << c.name;
}

class Input : public ::testing::TestWithParam<InputCase> {};

// Every case returns at once: nothing here may wait on a FIFO or a device.
TEST_P(Input, ReadsRegularFilesOnlyAndWithinTheBound) {
    const InputCase& c = GetParam();
    ScratchDir dir;
    const std::string path = c.prepare(dir);
    const common::InputFile read = common::readInputFile(path, kBound);
    EXPECT_EQ(read.error, c.error) << read.message;
    if (c.error == InputFileError::None) {
        EXPECT_EQ(read.bytes, c.bytes);
        EXPECT_EQ(read.message, "");
    } else {
        EXPECT_EQ(read.bytes, "");
        EXPECT_NE(read.message.find("'" + path + "'"), std::string::npos) << read.message;
        EXPECT_NE(read.message.find(c.why), std::string::npos) << read.message;
    }
}

std::string file(const ScratchDir& d, const std::string& bytes) {
    writeBytes(d.file("f"), bytes);
    return d.file("f");
}

INSTANTIATE_TEST_SUITE_P(
    InputFile, Input,
    ::testing::Values(
        InputCase{.name = "regular_file",
                  .prepare = [](const ScratchDir& d) { return file(d, "contents"); },
                  .bytes = "contents"},
        InputCase{.name = "empty_file", .prepare = [](const ScratchDir& d) { return file(d, ""); }},
        InputCase{.name = "exactly_the_bound",
                  .prepare = [](const ScratchDir& d) { return file(d, std::string(kBound, 'x')); },
                  .bytes = std::string(kBound, 'x')},
        InputCase{
            .name = "one_byte_past_the_bound",
            .prepare = [](const ScratchDir& d) { return file(d, std::string(kBound + 1, 'x')); },
            .error = InputFileError::TooLarge,
            .why = "larger than 16 bytes"},
        InputCase{.name = "through_a_symbolic_link",
                  .prepare =
                      [](const ScratchDir& d) {
                          file(d, "linked");
                          ::symlink(d.file("f").c_str(), d.file("l").c_str());
                          return d.file("l");
                      },
                  .bytes = "linked"},
        InputCase{.name = "missing",
                  .prepare = [](const ScratchDir& d) { return d.file("none"); },
                  .error = InputFileError::Missing,
                  .why = std::strerror(ENOENT)},
        InputCase{.name = "dangling_link",
                  .prepare =
                      [](const ScratchDir& d) {
                          ::symlink(d.file("none").c_str(), d.file("l").c_str());
                          return d.file("l");
                      },
                  .error = InputFileError::Missing,
                  .why = std::strerror(ENOENT)},
        InputCase{.name = "no_name",
                  .prepare = [](const ScratchDir&) { return std::string(); },
                  .error = InputFileError::Missing,
                  .why = "no file name"},
        InputCase{.name = "folder",
                  .prepare = [](const ScratchDir& d) { return d.path(); },
                  .error = InputFileError::NotRegular,
                  .why = "it is a folder, not a regular file"},
        InputCase{.name = "fifo_without_a_writer",
                  .prepare =
                      [](const ScratchDir& d) {
                          ::mkfifo(d.file("p").c_str(), 0600);
                          return d.file("p");
                      },
                  .error = InputFileError::NotRegular,
                  .why = "it is a FIFO, not a regular file"},
        InputCase{.name = "device",
                  .prepare = [](const ScratchDir&) { return std::string("/dev/zero"); },
                  .error = InputFileError::NotRegular,
                  .why = "it is a device, not a regular file"},
        // Every read at the start of /proc/self/mem fails: a regular file the system
        // will not read, for root too (whom chmod 000 would not stop).
        InputCase{.name = "read_fails",
                  .prepare = [](const ScratchDir&) { return std::string("/proc/self/mem"); },
                  .error = InputFileError::Unreadable,
                  .why = std::strerror(EIO)}),
    [](const ::testing::TestParamInfo<InputCase>& info) { return std::string(info.param.name); });

}  // namespace
