#include "cli/profile_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "i18n/profile_test_support.h"

namespace {

using i18n_test::readBytes;
using i18n_test::ScratchDir;
using i18n_test::writeBytes;

constexpr const char* kFileWord = "FILE";  // stands for the scratch file in a case's words

struct CommandCase {
    const char* name;
    std::vector<std::string> args;
    std::optional<std::string> before;  // nullopt: no file
    int exitCode;
    std::string out;
    std::optional<std::string> after;  // nullopt: as before
};

void PrintTo(const CommandCase& c, std::ostream* os) {
    *os << c.name;
}

class ProfileCommand : public ::testing::TestWithParam<CommandCase> {};

TEST_P(ProfileCommand, RunsTheEngine) {
    const CommandCase& c = GetParam();
    ScratchDir dir;
    const std::string path = dir.file("language.ini");
    if (c.before)
        writeBytes(path, *c.before);
    std::vector<std::string> args = c.args;
    for (std::string& word : args) {
        if (word == kFileWord)
            word = path;
    }
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(cli::runProfileCommand(args, out, err), c.exitCode) << err.str();
    EXPECT_EQ(out.str(), c.out);
    EXPECT_EQ(err.str().empty(), c.exitCode == cli::kProfileExitOk) << err.str();
    EXPECT_EQ(readBytes(path), c.after ? c.after : c.before);
}

const std::string kFile =
    "[Chinese]\r\nokey=\xE6\x88\x90\xE5\x8A\x9F\r\n[set]\r\nmax_F1=0xF3\r\n"
    "min=-5\r\nlong=" +
    std::string(300, 'x') + "\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cli, ProfileCommand,
    ::testing::Values(
        CommandCase{"Get",
                    {"get", kFileWord, "chinese", "OKEY"},
                    kFile,
                    0,
                    "\xE6\x88\x90\xE5\x8A\x9F\n",
                    std::nullopt},
        CommandCase{"GetCut",
                    {"get", kFileWord, "set", "long"},
                    kFile,
                    0,
                    std::string(259, 'x') + "\n",
                    std::nullopt},
        CommandCase{
            "GetMissingKey", {"get", kFileWord, "set", "none"}, kFile, 0, "\n", std::nullopt},
        CommandCase{
            "GetIntHex", {"get-int", kFileWord, "SET", "max_f1"}, kFile, 0, "243\n", std::nullopt},
        CommandCase{"GetIntNegative",
                    {"get-int", kFileWord, "set", "min"},
                    kFile,
                    0,
                    "4294967291\n",
                    std::nullopt},
        CommandCase{
            "GetIntText", {"get-int", kFileWord, "chinese", "okey"}, kFile, 0, "0\n", std::nullopt},
        CommandCase{
            "GetIntMissing", {"get-int", kFileWord, "set", "none"}, kFile, 0, "0\n", std::nullopt},
        CommandCase{"SetReplaces",
                    {"set", kFileWord, "set", "MAX_F1", "0"},
                    kFile,
                    0,
                    "",
                    "[Chinese]\r\nokey=\xE6\x88\x90\xE5\x8A\x9F\r\n[set]\r\nmax_F1=0\r\nmin=-5\r\n"
                    "long=" +
                        std::string(300, 'x') + "\r\n"},
        CommandCase{"SetAddsSection",
                    {"set", kFileWord, "english", "okey", "Done"},
                    std::string("[set]\nlang_sel=0\n"),
                    0,
                    "",
                    std::string("[set]\nlang_sel=0\n[english]\nokey=Done\n")},
        CommandCase{"SetCreatesFile",
                    {"set", kFileWord, "set", "lang_sel", "1"},
                    std::nullopt,
                    0,
                    "",
                    std::string("[set]\nlang_sel=1\n")},
        CommandCase{
            "GetMissingFile", {"get", kFileWord, "set", "k"}, std::nullopt, 4, "", std::nullopt},
        CommandCase{"GetIntMissingFile",
                    {"get-int", kFileWord, "set", "k"},
                    std::nullopt,
                    4,
                    "",
                    std::nullopt},
        CommandCase{"NoSubcommand", {}, kFile, 1, "", std::nullopt},
        CommandCase{
            "UnknownSubcommand", {"delete", kFileWord, "set", "k"}, kFile, 1, "", std::nullopt},
        CommandCase{"GetTooFew", {"get", kFileWord, "set"}, kFile, 1, "", std::nullopt},
        CommandCase{
            "SetTooMany", {"set", kFileWord, "set", "k", "v", "w"}, kFile, 1, "", std::nullopt},
        CommandCase{
            "SetLineBreak", {"set", kFileWord, "set", "k", "a\nb=c"}, kFile, 1, "", std::nullopt},
        CommandCase{"SetEmptyKey", {"set", kFileWord, "set", "", "v"}, kFile, 1, "", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProfileCommandFiles, SetOnAReadOnlyFileIsAFileError) {
    ScratchDir dir;
    const std::string path = dir.file("language.ini");
    writeBytes(path, "[set]\nlang_sel=0\n");
    ::chmod(path.c_str(), 0444);
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(cli::runProfileCommand({"set", path, "set", "lang_sel", "1"}, out, err),
              cli::kProfileExitFileError);
    EXPECT_EQ(readBytes(path), "[set]\nlang_sel=0\n");
}

TEST(ProfileCommandFiles, GetOnAFolderIsAFileError) {
    ScratchDir dir;
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(cli::runProfileCommand({"get", dir.path(), "set", "k"}, out, err),
              cli::kProfileExitFileError);
}

TEST(ProfileCommandFiles, HelpGoesToStandardOutput) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(cli::runProfileCommand({"--help"}, out, err), cli::kProfileExitOk);
    EXPECT_NE(out.str().find("profile get-int FILE SECTION KEY"), std::string::npos);
    EXPECT_TRUE(err.str().empty());
}

}  // namespace
