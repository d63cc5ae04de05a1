#include "form/access_keys.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace form {
namespace {

struct KeyCase {
    const char* name;
    std::vector<AccessKeyItem> items;
    std::string taken;
    std::vector<std::string> marked;
};

const KeyCase kKeyCases[] = {
    {"the preferred key on the caption's own letter",
     {{"File", 'F'}, {"Operation", 'O'}, {"Help", 'H'}},
     "",
     {"&File", "&Operation", "&Help"}},
    {"a preferred key taken falls back to a word's first letter",
     {{"Restore Default Data", 'R'}, {"Restore Backup", 'R'}},
     "",
     {"&Restore Default Data", "Restore &Backup"}},
    {"a preferred key inside a word when no word starts with it",
     {{"Export Data", 'E'}, {"English", 'N'}, {"Exit", 'X'}},
     "",
     {"&Export Data", "E&nglish", "E&xit"}},
    {"captions without letters of their own take the key in brackets",
     {{"文件", 'F'}, {"操作", 'O'}, {"帮助", 'H'}},
     "",
     {"文件(&F)", "操作(&O)", "帮助(&H)"}},
    {"a bracketed key taken already gives way to the first free one",
     {{"读取设置", 'R'}, {"恢复备份", 'R'}},
     "RA",
     {"读取设置(&B)", "恢复备份(&C)"}},
    {"keys of the container are not handed out again",
     {{"Read Setting", 'R'}, {"Send Setting", 'S'}},
     "fohs",
     {"&Read Setting", "S&end Setting"}},
    {"a literal ampersand is doubled, never a key",
     {{"R&D", 0}, {"&", 0}},
     "",
     {"&R&&D", "&&(&A)"}},
    {"a caption's own bracketed letter is not marked where a key would be added",
     {{"文件(F)", 'F'}},
     "",
     {"文件(F)(&F)"}},
    {"an empty caption stays empty", {{"", 'F'}, {"File", 'F'}}, "", {"", "&File"}},
};

TEST(AccessKeys, AreUniqueInTheirContainerAndReadBackAsGiven) {
    for (const KeyCase& c : kKeyCases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::string> marked = markAccessKeys(c.items, c.taken);
        EXPECT_EQ(marked, c.marked);
        std::string keys = c.taken;
        for (std::size_t i = 0; i < marked.size(); ++i) {
            EXPECT_EQ(stripAccessKey(marked[i]), c.items[i].caption) << marked[i];
            const char key = accessKeyOf(marked[i]);
            if (c.items[i].caption.empty())
                continue;
            ASSERT_NE(key, 0) << marked[i];
            for (const char other : keys)
                EXPECT_NE(key, static_cast<char>(std::toupper(other))) << marked[i];
            keys += key;
        }
    }
}

TEST(AccessKeys, RunOutQuietlyAfterThirtySixKeys) {
    std::vector<AccessKeyItem> items(37, AccessKeyItem{"中", 0});
    const std::vector<std::string> marked = markAccessKeys(items);
    EXPECT_EQ(marked[35], "中(&9)");
    EXPECT_EQ(marked[36], "中");
    EXPECT_EQ(accessKeyOf(marked[36]), 0);
}

}  // namespace
}  // namespace form
