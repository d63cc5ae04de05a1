#pragma once
// Access keys (mnemonics) of menu entries and push buttons. A caption as the language file
// gives it is shown with one letter marked by "&" (a literal "&" doubled): on the caption's
// own letters where it has some ("&File", "E&xit"), after it in brackets where it has none
// ("文件(&F)"). The keys of one menu, or of the menu bar and the push buttons of one
// window, are unique, and reading a shown caption back gives the caption as it was given.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace form {

struct AccessKeyItem {
    std::string_view caption;  // UTF-8, as the language file gives it
    char preferred = 0;        // the key it should have when free; 0 for none
};

// The captions marked for display, in the order of `items`. Keys in `taken` (letters or
// digits, either case) are not handed out. Each caption gets a key not given to an item
// before it: its preferred key when free, on the caption's letters where possible (a word's
// first letter before others); a caption without free letters of its own gets a free key in
// brackets after it. An empty caption stays empty; when all 36 keys are gone, a caption is
// only escaped.
std::vector<std::string> markAccessKeys(std::span<const AccessKeyItem> items,
                                        std::string_view taken = {});

// A marked caption as it was given: the bracketed key after it and the "&" before a key
// removed, doubled "&" made single.
std::string stripAccessKey(std::string_view marked);

// The key a marked caption has, upper case; 0 for none.
char accessKeyOf(std::string_view marked);

}  // namespace form
