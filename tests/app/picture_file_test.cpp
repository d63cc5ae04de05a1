// The window's pictures are read as outside input: whatever stands in a picture's place,
// the window comes up, without the picture where it cannot be one.

#include "app/picture_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "support/scratch_dir.h"

namespace {

struct PictureCase {
    const char* name;
    std::function<void(const std::string& path)> prepare;
    bool shown;
};

TEST(PictureFile, OnlyARegularPictureIsShownAndNothingIsWaitedOn) {
    const std::string shipped = std::string(TESSARO_RESOURCES_DIR) + "/tessaro.png";
    const PictureCase cases[] = {
        {"the shipped picture",
         [&](const std::string& path) { std::filesystem::copy_file(shipped, path); }, true},
        {"missing", [](const std::string&) {}, false},
        // Opened for reading, a FIFO without a writer would hold the window up for good.
        {"a FIFO", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); },
         false},
        {"a folder", [](const std::string& path) { std::filesystem::create_directory(path); },
         false},
        {"not a picture",
         [](const std::string& path) { testing_support::writeBytes(path, "not a picture"); },
         false},
        {"a device",
         [](const std::string& path) { std::filesystem::create_symlink("/dev/zero", path); },
         false},
    };
    for (const PictureCase& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::ScratchDir dir;
        const std::string path = dir.file("tessaro.png");
        c.prepare(path);
        EXPECT_EQ(!app::readPicture(QString::fromStdString(path)).isNull(), c.shown);
    }
}

}  // namespace
