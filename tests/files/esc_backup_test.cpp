// Backups of an ESC's settings: the text format both ways, and the backups folder.

#include "files/esc_backup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

std::vector<uint8_t> counting(std::size_t length) {
    std::vector<uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 5);
    return bytes;
}

files::EscBackup backupOf(uint8_t family, std::vector<uint8_t> settings) {
    files::EscBackup backup;
    backup.family = family;
    backup.variant = 1;
    backup.version = std::array<uint8_t, 7>{1, family, 1, 2, 16, 12, 5};
    backup.settings = std::move(settings);
    return backup;
}

// A fixed local time: noon, so that a few minutes either way stay on the same day.
std::time_t noon() {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 8;
    local.tm_hour = 12;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

TEST(EscBackupText, FormatThenParseGivesTheSameBackup) {
    struct Case {
        const char* name;
        files::EscBackup backup;
    };
    files::EscBackup family7 =
        backupOf(7, {0x00, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x05, 0x00, 0xD1});
    family7.version.reset();
    files::EscBackup untimed = backupOf(3, counting(14));
    files::EscBackup timed = backupOf(3, counting(14));
    timed.taken = "2026-12-08 12:30:05";
    files::EscBackup highVariant = backupOf(255, counting(5));
    highVariant.variant = 255;
    const Case cases[] = {
        {"family 3 with its version", timed},
        {"no time taken", untimed},
        {"family 7 without a version", family7},
        {"one settings byte", backupOf(1, {0xFF})},
        {"200 settings bytes", backupOf(9, counting(200))},
        {"family and variant 255", highVariant},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = files::formatEscBackup(c.backup);
        std::string error;
        const auto parsed = files::parseEscBackup(text, error);
        ASSERT_TRUE(parsed.has_value()) << error << "\n" << text;
        EXPECT_EQ(*parsed, c.backup) << text;
        // An ESC without a version reply has no version line.
        EXPECT_EQ(text.find("version=") != std::string::npos, c.backup.version.has_value());
    }
}

TEST(EscBackupText, TextsThatAreNoBackupAreRefusedWithTheirReason) {
    const std::string head = "# Tessaro ESC backup\nformat=1\n";
    const std::string esc = "family=3\nvariant=1\n";
    const std::string version = "version=01 03 01 02 10 0C 05\n";
    const std::string settings = "settings=02 02 13 18\n";
    struct Case {
        const char* name;
        std::string text;
        const char* reason;
    };
    const Case cases[] = {
        {"unknown format number", "format=2\n" + esc + settings, "format 2 is not known"},
        {"no format", esc + settings, "format is missing"},
        {"missing settings", head + esc + version, "settings is missing"},
        {"empty settings", head + esc + "settings=\n", "settings are not 1 to 200"},
        {"201 settings bytes", head + esc + "settings=" + std::string(201 * 3 - 1, '0') + "\n",
         "settings are not 1 to 200"},
        {"bad hex in the settings", head + esc + "settings=02 0G 13\n", "settings are not"},
        {"a settings byte of three digits", head + esc + "settings=020 13\n", "settings are not"},
        {"a version of 6 bytes", head + esc + "version=01 03 01 02 10 0C\n" + settings,
         "version is not 7 hexadecimal bytes"},
        {"a version of 8 bytes", head + esc + "version=01 03 01 02 10 0C 05 00\n" + settings,
         "version is not 7 hexadecimal bytes"},
        {"an unknown key", head + esc + "colour=red\n" + settings, "unknown key 'colour'"},
        {"family 256", head + "family=256\nvariant=1\n" + settings,
         "family is not a number from 0 to 255"},
        {"variant -1", head + "family=3\nvariant=-1\n" + settings,
         "variant is not a number from 0 to 255"},
        {"no variant", head + "family=3\n" + settings, "variant is missing"},
        {"a line without '='", head + esc + "settings 02\n", "line 5 is not key=value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        const auto parsed = files::parseEscBackup(c.text, error);
        EXPECT_FALSE(parsed.has_value());
        EXPECT_THAT(error, HasSubstr(c.reason));
    }
}

TEST(EscBackupFolder, TwoBackupsInTheSameSecondGetTwoNames) {
    testing_support::ScratchDir dir;
    std::string error;
    const auto first = files::saveEscBackup(dir.path(), backupOf(3, {1, 2, 3}), noon(), error);
    const auto second = files::saveEscBackup(dir.path(), backupOf(3, {4, 5, 6}), noon(), error);
    ASSERT_TRUE(first && second) << error;
    EXPECT_NE(*first, *second);
    const auto a = files::readEscBackup(dir.file(*first), error);
    const auto b = files::readEscBackup(dir.file(*second), error);
    ASSERT_TRUE(a && b) << error;
    EXPECT_EQ(a->settings, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(b->settings, (std::vector<uint8_t>{4, 5, 6}));
    EXPECT_EQ(a->taken, "2026-12-08 12:00:00");
}

// The newest first, also when several were kept in one second: the later one of a second
// is the newer.
TEST(EscBackupFolder, ListsTheNewestFirst) {
    struct Case {
        const char* name;
        std::vector<int> secondsAfterNoon;  // in the order they are saved
        std::vector<uint8_t> families;      // of each backup; none: all family 3
    };
    const Case cases[] = {
        {"one a minute", {0, 60, 120}, {}},
        {"saved out of order", {60, -60, 0}, {}},
        {"two in one second", {0, 0}, {}},
        {"three in one second after an older one", {-5, 0, 0, 0}, {}},
        {"eleven in one second", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {}},
        {"two ESCs in one second", {0, 0}, {3, 1}},
        {"families 9 and 12 in one second", {0, 0, 0}, {9, 12, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::ScratchDir dir;
        std::vector<std::pair<int, std::string>> saved;  // (when, path), in saving order
        for (std::size_t i = 0; i < c.secondsAfterNoon.size(); ++i) {
            std::string error;
            const auto path = files::saveEscBackup(
                dir.path(),
                backupOf(c.families.empty() ? 3 : c.families[i], {static_cast<uint8_t>(i)}),
                noon() + c.secondsAfterNoon[i], error);
            ASSERT_TRUE(path) << error;
            saved.emplace_back(c.secondsAfterNoon[i], *path);
        }
        // Newest first: the latest time, and of one time the one saved last.
        std::vector<std::pair<int, std::string>> expected = saved;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& x, const auto& y) { return x.first < y.first; });
        std::vector<std::string> newestFirst;
        for (auto it = expected.rbegin(); it != expected.rend(); ++it)
            newestFirst.push_back(it->second);
        EXPECT_EQ(files::listEscBackups(dir.path()), newestFirst);
    }
}

TEST(EscBackupFolder, KeepsTheNewestFifty) {
    struct Case {
        const char* name;
        int stepSeconds;  // between two backups
    };
    const Case cases[] = {{"one a second", 1}, {"all in one second", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::ScratchDir dir;
        std::vector<std::string> saved;
        for (int i = 0; i < 53; ++i) {
            std::string error;
            const auto path =
                files::saveEscBackup(dir.path(), backupOf(3, {static_cast<uint8_t>(i)}),
                                     noon() + i * c.stepSeconds, error);
            ASSERT_TRUE(path) << error;
            saved.push_back(*path);
        }
        const std::vector<std::string> listed = files::listEscBackups(dir.path());
        EXPECT_EQ(listed.size(), files::kEscBackupsKept);
        EXPECT_EQ(testing_support::ScratchDir::namesIn(dir.file("backups")).size(),
                  files::kEscBackupsKept);
        // The last one saved is kept, the first three are gone.
        EXPECT_TRUE(fs::exists(dir.file(saved.back())));
        for (int i = 0; i < 3; ++i) {
            EXPECT_FALSE(fs::exists(dir.file(saved[i]))) << saved[i];
        }
    }
}

TEST(EscBackupFolder, LeavesOtherFilesInTheFolderAlone) {
    testing_support::ScratchDir dir;
    fs::create_directories(dir.file("backups"));
    testing_support::writeBytes(dir.file("backups/notes.txt"), "mine");
    testing_support::writeBytes(dir.file("backups/20000101-000000-family3.txt"), "mine too");
    std::string error;
    for (int i = 0; i < 52; ++i) {
        ASSERT_TRUE(files::saveEscBackup(dir.path(), backupOf(3, {1}), noon() + i, error)) << error;
    }
    EXPECT_TRUE(fs::exists(dir.file("backups/notes.txt")));
    EXPECT_TRUE(fs::exists(dir.file("backups/20000101-000000-family3.txt")));
    EXPECT_EQ(files::listEscBackups(dir.path()).size(), files::kEscBackupsKept);
}

TEST(EscBackupFolder, AFolderThatCannotBeMadeGivesTheSystemsReason) {
    struct Case {
        const char* name;
        const char* file;        // a regular file made in the scratch folder
        const char* workingDir;  // under the scratch folder
        int reason;              // the errno whose text the error carries
    };
    const Case cases[] = {
        // create_directories finds a file where the folder should be.
        {"a file named backups", "backups", "", EEXIST},
        // The working directory itself is a file.
        {"a working directory that is a file", "work", "work", ENOTDIR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::ScratchDir dir;
        testing_support::writeBytes(dir.file(c.file), "not a folder");
        const std::string work =
            std::string(c.workingDir).empty() ? dir.path() : dir.file(c.workingDir);
        std::string error;
        const auto path = files::saveEscBackup(work, backupOf(3, {1, 2}), noon(), error);
        EXPECT_FALSE(path.has_value());
        EXPECT_THAT(error, HasSubstr("backups"));
        EXPECT_THAT(error, HasSubstr(std::strerror(c.reason)));
        // The file in the way is left as it was.
        EXPECT_EQ(testing_support::readBytes(dir.file(c.file)), "not a folder");
    }
}

TEST(EscBackupFolder, ReadingABackupFile) {
    testing_support::ScratchDir dir;
    std::string error;
    const files::EscBackup backup = backupOf(8, counting(16));
    const auto path = files::saveEscBackup(dir.path(), backup, noon(), error);
    ASSERT_TRUE(path) << error;
    const auto read = files::readEscBackup(dir.file(*path), error);
    ASSERT_TRUE(read) << error;
    files::EscBackup expected = backup;
    expected.taken = "2026-12-08 12:00:00";
    EXPECT_EQ(*read, expected);

    struct Case {
        const char* name;
        std::string path;
        const char* reason;
    };
    testing_support::writeBytes(
        dir.file("big.esc"),
        files::formatEscBackup(backup) + std::string(files::kEscBackupMaxBytes, '#'));
    testing_support::writeBytes(dir.file("text.esc"), "hello\n");
    const Case cases[] = {
        {"missing", dir.file("none.esc"), std::strerror(ENOENT)},
        {"a folder", dir.file("backups"), "not a regular file"},
        {"too large", dir.file("big.esc"), "larger than 4096 bytes"},
        {"not a backup", dir.file("text.esc"), "is not a backup: line 1 is not key=value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string reason;
        EXPECT_FALSE(files::readEscBackup(c.path, reason).has_value());
        EXPECT_THAT(reason, HasSubstr(c.reason));
        EXPECT_THAT(reason, HasSubstr(c.path));
    }
}

}  // namespace
