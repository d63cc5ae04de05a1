// tessaro-cli's own messages in the chosen language: the same failures and questions on
// the simulated ESC (late, with jitter) with --lang en and --lang zh, the stored choice
// when no --lang is given, and the catalogue itself.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/cli_messages.h"
#include "i18n/profile_file.h"
#include "link/clock.h"
#include "support/cli_run.h"
#include "support/scratch_dir.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

using LangRun = testing_support::CliRun;

struct Bench {
    testing_support::ScratchDir dir;
    Bench() {
        fs::copy_file(fs::path(TESSARO_RESOURCES_DIR) / "language.ini", dir.file("language.ini"));
    }
    LangRun run(const std::vector<std::string>& args, const std::string& typed = {}) {
        return testing_support::runCliIn(dir.path(), args, 50000, typed);
    }
    std::string storedChoice() const {
        return i18n::ProfileFile::readString(dir.file("language.ini"), "set", "lang_sel", "");
    }
};

struct MessageCase {
    const char* what;
    std::vector<std::string> args;  // --lang is put in front
    const char* typed;              // answered on a terminal; "" for none
    int code;
    bool onStdout;
    const char* english;  // exactly as the English run has always printed it
    const char* chinese;
};

const std::vector<MessageCase>& messageCases() {
    static const std::vector<MessageCase> cases = {
        {"usage error",
         {"--device", "sim:family=3", "read", "extra"},
         "",
         1,
         false,
         "tessaro-cli: read takes no arguments, not 'extra'\n",
         "tessaro-cli: read 不带参数，多了“extra”\n"},
        {"file error with the system's reason",
         {"--device", "sim:family=3", "import", "missing.cfg"},
         "",
         4,
         false,
         "tessaro-cli: cannot read missing.cfg: No such file or directory\n",
         "tessaro-cli: 无法读取 missing.cfg：No such file or directory\n"},
        {"off-step value refused",
         {"--device", "sim:family=3", "write", "min-throttle=1001"},
         "",
         1,
         false,
         "tessaro-cli: min-throttle cannot store 1001 (the ESC would keep 1000); nearest: 1000 "
         "or 1004\n",
         "tessaro-cli: min-throttle 无法保存 1001（电调实际会保存为 1000）；最接近的：1000 或 "
         "1004\n"},
        {"value out of range",
         {"--device", "sim:family=3", "write", "brake-strength=3"},
         "",
         1,
         false,
         "tessaro-cli: brake-strength takes a value from 4 to 200, not 3\n",
         "tessaro-cli: brake-strength 的取值范围是 4 到 200，不能是 3\n"},
        {"confirmation prompt, answered no",
         {"--device", "sim:family=3", "defaults"},
         "n\n",
         1,
         false,
         "tessaro-cli: write the factory defaults into the ESC? [y/N] tessaro-cli: not "
         "confirmed: nothing was sent\n",
         "tessaro-cli: 要把出厂设置写入电调吗？ [y/N] tessaro-cli: 未确认：什么也没有发送\n"},
        {"no terminal to ask on",
         {"--device", "sim:family=3", "defaults"},
         "",
         1,
         false,
         "give --yes to go ahead without asking",
         "请加上 --yes，不经确认直接执行"},
        {"batch row",
         {"--device", "sim:escs=3,escstay=200", "batch", "defaults", "--count", "1", "--yes"},
         "",
         0,
         true,
         "ESC 1: family 3 variant 1: programmed (backup backups/",
         "电调 1：系列 3 型号 1：已写入（备份 backups/"},
        {"batch wait",
         {"--device", "sim:escs=3,escstay=200", "batch", "defaults", "--count", "1", "--yes"},
         "",
         0,
         false,
         "tessaro-cli: waiting for ESC 1 (Ctrl-C ends the batch)\n",
         "tessaro-cli: 正在等待第 1 个电调（按 Ctrl-C 结束批量操作）\n"},
        {"silent adapter",
         {"--device", "sim:adapter=none", "--timeout", "1", "info"},
         "",
         2,
         false,
         "tessaro-cli: the link adapter did not send its version within 1 s\n",
         "tessaro-cli: 连接适配器在 1 秒内没有发来版本号\n"},
        {"unknown command",
         {"frobnicate"},
         "",
         1,
         false,
         "tessaro-cli: unknown command 'frobnicate' (see tessaro-cli --help)\n",
         "tessaro-cli: 未知命令“frobnicate”（见 tessaro-cli --help）\n"},
    };
    return cases;
}

TEST(CliLanguage, OwnMessagesFollowLang) {
    for (const MessageCase& c : messageCases()) {
        SCOPED_TRACE(c.what);
        for (const char* lang : {"en", "zh"}) {
            SCOPED_TRACE(lang);
            Bench bench;
            std::vector<std::string> args = {"--lang", lang};
            args.insert(args.end(), c.args.begin(), c.args.end());
            const LangRun run = bench.run(args, c.typed);
            EXPECT_EQ(run.code, c.code) << run.err;
            const std::string& shown = c.onStdout ? run.out : run.err;
            const bool chinese = std::string(lang) == "zh";
            EXPECT_THAT(shown, HasSubstr(chinese ? c.chinese : c.english));
            EXPECT_THAT(shown, Not(HasSubstr(chinese ? c.english : c.chinese)));
        }
    }
}

TEST(CliLanguage, TheStoredChoiceServesWithoutLang) {
    Bench bench;
    ASSERT_EQ(bench.run({"--device", "sim:family=3", "--lang", "zh", "info"}).code, 0);
    ASSERT_EQ(bench.storedChoice(), "1");
    for (const MessageCase& c : messageCases()) {
        if (c.code == 0)
            continue;  // a batch that succeeds without --lang changes nothing; covered above
        SCOPED_TRACE(c.what);
        const LangRun run = bench.run(c.args, c.typed);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_THAT(run.err, HasSubstr(c.chinese));
    }
    // A --lang en of a failed command speaks English, and the stored choice stays.
    const LangRun english =
        bench.run({"--lang", "en", "--device", "sim:family=3", "read", "extra"});
    EXPECT_THAT(english.err, HasSubstr("read takes no arguments, not 'extra'"));
    EXPECT_EQ(bench.storedChoice(), "1");
}

TEST(CliLanguage, JsonKeepsItsKeysAndCodes) {
    Bench bench;
    const LangRun run = bench.run(
        {"--lang", "zh", "--json", "--device", "sim:family=3", "write", "min-throttle=1001"});
    EXPECT_EQ(run.code, 1);
    const auto json = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_TRUE(json.is_object()) << run.out;
    EXPECT_EQ(json["error"]["code"], 1);
    EXPECT_THAT(json["error"]["message"].get<std::string>(),
                HasSubstr("min-throttle 无法保存 1001"));
}

// Every message has both texts, the Chinese one in Chinese, with the same placeholders.
TEST(CliLanguage, EveryMessageHasBothTexts) {
    const std::regex placeholder("%[1-9]");
    const auto placeholders = [&](const std::string& text) {
        std::multiset<std::string> found;
        for (auto it = std::sregex_iterator(text.begin(), text.end(), placeholder);
             it != std::sregex_iterator(); ++it)
            found.insert(it->str());
        return found;
    };
    for (int i = 0; i < static_cast<int>(cli::Msg::Count); ++i) {
        SCOPED_TRACE(i);
        const auto id = static_cast<cli::Msg>(i);
        // No arguments: the placeholders stay unfilled.
        const std::string english = cli::msgIn(false, id, {});
        const std::string chinese = cli::msgIn(true, id, {});
        ASSERT_FALSE(english.empty());
        ASSERT_FALSE(chinese.empty());
        EXPECT_NE(english, chinese);
        EXPECT_TRUE(std::any_of(chinese.begin(), chinese.end(), [](char ch) {
            return static_cast<unsigned char>(ch) >= 0x80;
        })) << chinese;
        EXPECT_EQ(placeholders(english), placeholders(chinese)) << english << " / " << chinese;
    }
}

}  // namespace
