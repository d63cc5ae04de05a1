#include "files/firmware_image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string writeImageFile(const std::string& name, std::size_t size, uint8_t seed) {
    const std::string path =
        std::filesystem::temp_directory_path() / (std::to_string(::getpid()) + "-" + name);
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i) out.put(static_cast<char>((i * 7 + seed) & 0xFF));
    return path;
}

TEST(FirmwareImage, LoadsTheFileWithTheKeyRemoved) {
    struct Case {
        std::size_t size;
        files::ImageLoadResult result;
    };
    const Case cases[] = {
        {0, files::ImageLoadResult::TooShort},     {1, files::ImageLoadResult::TooShort},
        {512, files::ImageLoadResult::TooShort},   {513, files::ImageLoadResult::Loaded},
        {1000, files::ImageLoadResult::Loaded},    {1537, files::ImageLoadResult::Loaded},
        {65535, files::ImageLoadResult::Loaded},   {65536, files::ImageLoadResult::TooLong},
        {200000, files::ImageLoadResult::TooLong},
    };
    for (const auto& c : cases) {
        files::FirmwareImage image;
        image.m_imageLength = 77;  // a previous image
        image.m_imageData[0] = 0x5A;
        const std::string path =
            writeImageFile("tessaro-image-" + std::to_string(c.size) + ".hgm", c.size, 3);
        EXPECT_EQ(image.load(path), c.result) << c.size;
        if (c.result == files::ImageLoadResult::Loaded) {
            ASSERT_EQ(image.length(), static_cast<int32_t>(c.size));
            for (std::size_t i = 0; i < c.size; ++i) {
                ASSERT_EQ(image.data()[i], static_cast<uint8_t>(((i * 7 + 3) & 0xFF) ^ 0xB7)) << i;
            }
        } else {
            EXPECT_EQ(image.length(), 77) << c.size;  // a refused file changes nothing
            EXPECT_EQ(image.data()[0], 0x5A) << c.size;
        }
        std::filesystem::remove(path);
    }
}

TEST(FirmwareImage, AShorterImageLeavesTheTailOfTheLongerOne) {
    files::FirmwareImage image;
    const std::string longer = writeImageFile("tessaro-image-long.bin", 2000, 1);
    const std::string shorter = writeImageFile("tessaro-image-short.bin", 1000, 2);
    ASSERT_EQ(image.load(longer), files::ImageLoadResult::Loaded);
    const uint8_t tail = image.data()[1500];
    ASSERT_EQ(image.load(shorter), files::ImageLoadResult::Loaded);
    EXPECT_EQ(image.length(), 1000);
    EXPECT_EQ(image.data()[1500], tail);
    std::filesystem::remove(longer);
    std::filesystem::remove(shorter);
}

TEST(FirmwareImage, MissingFileOrEmptyPathChangesNothing) {
    files::FirmwareImage image;
    image.m_imageLength = 5;
    EXPECT_EQ(image.load(""), files::ImageLoadResult::CannotOpen);
    EXPECT_EQ(image.load("/nonexistent/tessaro.hgm"), files::ImageLoadResult::CannotOpen);
    EXPECT_EQ(image.length(), 5);
}

}  // namespace
