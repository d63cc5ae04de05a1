#include "files/settings_backup.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class SettingsBackup : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        char pattern[] = "/tmp/tessaro-backup-XXXXXX";
        dir = mkdtemp(pattern);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::size_t backups() const {
        std::size_t n = 0;
        for (const auto& e : fs::directory_iterator(fs::path(dir) / "backups"))
            n += e.is_regular_file();
        return n;
    }
    std::string dir;
};

// 2026-12-08 07:39:12 UTC
constexpr std::time_t kWhen = 1796715552;

TEST_F(SettingsBackup, NamesCarryTimeAndFamily) {
    EXPECT_EQ(files::backupFileName(kWhen, 3), "20261208-073912-family3.cfg");
    EXPECT_EQ(files::backupFileName(kWhen, 9, 2), "20261208-073912-family9-2.cfg");
}

TEST_F(SettingsBackup, WritesTheFileAndNeverOverwritesABackup) {
    files::SettingsFile file;
    file.bytes[0] = 7;
    const auto first = files::saveBackup(dir, file, 3, kWhen);
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, "backups/20261208-073912-family3.cfg");
    file.bytes[0] = 8;
    const auto second = files::saveBackup(dir, file, 3, kWhen);
    ASSERT_TRUE(second);
    EXPECT_EQ(*second, "backups/20261208-073912-family3-2.cfg");
    files::SettingsFileError error{};
    EXPECT_EQ(files::SettingsFile::read(dir + "/" + *first, error)->bytes[0], 7);
    EXPECT_EQ(files::SettingsFile::read(dir + "/" + *second, error)->bytes[0], 8);
}

TEST_F(SettingsBackup, KeepsTheNewestFiftyAndLeavesOtherFilesAlone) {
    files::SettingsFile file;
    fs::create_directories(fs::path(dir) / "backups");
    std::ofstream(fs::path(dir) / "backups" / "mine.cfg") << "x";
    for (int i = 0; i < 55; ++i) ASSERT_TRUE(files::saveBackup(dir, file, 2, kWhen + 60 * i));
    EXPECT_EQ(backups(), 51u);  // 50 backups and the user's own file
    EXPECT_TRUE(fs::exists(fs::path(dir) / "backups" / "mine.cfg"));
    EXPECT_FALSE(fs::exists(fs::path(dir) / "backups" / files::backupFileName(kWhen + 60 * 4, 2)));
    EXPECT_TRUE(fs::exists(fs::path(dir) / "backups" / files::backupFileName(kWhen + 60 * 5, 2)));
}

TEST_F(SettingsBackup, AFolderThatCannotBeMadeGivesNothing) {
    std::ofstream(fs::path(dir) / "backups") << "a file in the way";
    EXPECT_FALSE(files::saveBackup(dir, files::SettingsFile{}, 1, kWhen));
}

}  // namespace
