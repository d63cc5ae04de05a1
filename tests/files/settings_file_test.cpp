#include "files/settings_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/file_size_limit.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

using testing_support::ScratchDir;

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SettingsFileName, ExtensionBecomesCfgAndANameIsNeeded) {
    ScratchDir dir;
    std::filesystem::create_directory(dir.file("folder"));
    struct Case {
        std::string chosen;
        std::optional<std::string> expected;  // nothing: refused
    };
    const Case cases[] = {
        {"car", "car.cfg"},
        {"car.cfg", "car.cfg"},
        {"race.old", "race.cfg"},
        {"settings.txt", "settings.cfg"},
        {"/home/u/my.dir/car", "/home/u/my.dir/car.cfg"},
        {"/home/u/my.dir/a.b.c", "/home/u/my.dir/a.b.cfg"},
        {"car.", "car.cfg"},
        {"", std::nullopt},
        {".hidden", std::nullopt},
        {".cfg", std::nullopt},
        {"..x", std::nullopt},
        {"/home/u/.cfg", std::nullopt},
        {"dir/", std::nullopt},
        {".", std::nullopt},
        {"..", std::nullopt},
        {dir.file("folder"), std::nullopt},
    };
    for (const auto& c : cases) {
        std::string reason;
        EXPECT_EQ(files::settingsFileNameFor(c.chosen, &reason), c.expected) << c.chosen;
        EXPECT_EQ(reason.empty(), c.expected.has_value()) << c.chosen << ": " << reason;
    }
}

TEST(SettingsFileThrottle, EveryValueOfTheRangeRoundTrips) {
    for (int v = 1000; v <= 2020; v += 4) {
        EXPECT_EQ(files::throttleFromFileByte(files::throttleToFileByte(v)), v) << v;
    }
}

TEST(SettingsFileThrottle, ExportKeepsTheFileMeaning) {
    struct Case {
        int value;
        uint8_t byte;
    };
    // (v - 1000) / 4, truncated toward zero, low 8 bits.
    const Case cases[] = {{1000, 0}, {1004, 1}, {1007, 1}, {2020, 255}, {2024, 0}, {996, 255}};
    for (const auto& c : cases) EXPECT_EQ(files::throttleToFileByte(c.value), c.byte) << c.value;
}

TEST(SettingsFileRead, OnlyFifteenBytesAreAccepted) {
    ScratchDir dir;
    struct Case {
        std::size_t size;
        files::SettingsFileError error;
    };
    const Case cases[] = {
        {0, files::SettingsFileError::WrongSize},
        {14, files::SettingsFileError::WrongSize},
        {15, files::SettingsFileError::None},
        {16, files::SettingsFileError::WrongSize},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes(c.size);
        for (std::size_t i = 0; i < c.size; ++i) bytes[i] = static_cast<uint8_t>(i * 3);
        const std::string path = dir.file("f" + std::to_string(c.size) + ".cfg");
        writeBytes(path, bytes);
        files::SettingsFileError error{};
        const auto file = files::SettingsFile::read(path, error);
        EXPECT_EQ(error, c.error) << c.size;
        EXPECT_EQ(file.has_value(), c.error == files::SettingsFileError::None) << c.size;
        if (file) {
            EXPECT_EQ(std::vector<uint8_t>(file->bytes.begin(), file->bytes.end()), bytes);
        }
    }
    files::SettingsFileError error{};
    EXPECT_FALSE(files::SettingsFile::read(dir.file("missing.cfg"), error));
    EXPECT_EQ(error, files::SettingsFileError::CannotOpen);
    EXPECT_FALSE(files::SettingsFile::read("", error));
    EXPECT_EQ(error, files::SettingsFileError::CannotOpen);
}

TEST(SettingsFileWrite, WritesAndReplacesAndNeverDestroysOnFailure) {
    ScratchDir dir;
    files::SettingsFile file;
    for (std::size_t i = 0; i < files::kSettingsFileSize; ++i)
        file.bytes[i] = static_cast<uint8_t>(0xF0 + i);
    const std::string path = dir.file("car.cfg");
    writeBytes(path, {1, 2, 3});
    ASSERT_TRUE(file.write(path));  // an existing file is replaced without a question
    EXPECT_EQ(readBytes(path), std::vector<uint8_t>(file.bytes.begin(), file.bytes.end()));

    // A folder that cannot be written: the export fails and the old file stays as it was.
    const std::string old = dir.file("keep.cfg");
    const std::vector<uint8_t> before = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5};
    writeBytes(old, before);
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    if (::geteuid() != 0) {  // root writes anywhere, so only a user sees the refusal
        EXPECT_FALSE(file.write(old));
    }
    fs::permissions(dir.path(), fs::perms::owner_all);
    if (::geteuid() != 0) {
        EXPECT_EQ(readBytes(old), before);
    }

    // A target that is a folder cannot be replaced: false, and the folder stays.
    fs::create_directory(dir.file("folder.cfg"));
    fs::create_directory(dir.file("folder.cfg/inner"));
    EXPECT_FALSE(file.write(dir.file("folder.cfg")));
    EXPECT_TRUE(fs::is_directory(dir.file("folder.cfg/inner")));
    EXPECT_EQ(dir.names(), (std::set<std::string>{"car.cfg", "keep.cfg", "folder.cfg"}));
}

// Writes that stop partway (a full disk, a quota): the old file keeps all 15 bytes and
// no part of the new one is left anywhere.
TEST(SettingsFileWrite, WriteFailingPartwayKeepsTheOldFile) {
    ScratchDir dir;
    files::SettingsFile file;
    file.bytes.fill(0xAA);
    const std::vector<uint8_t> before = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5};
    const std::string old = dir.file("keep.cfg");
    writeBytes(old, before);
    {
        testing_support::FileSizeLimit limit(7);
        EXPECT_FALSE(file.write(old));
        EXPECT_FALSE(file.write(dir.file("new.cfg")));
    }
    EXPECT_EQ(readBytes(old), before);
    EXPECT_EQ(dir.names(), std::set<std::string>{"keep.cfg"});
}

}  // namespace
