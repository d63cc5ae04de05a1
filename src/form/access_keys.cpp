#include "form/access_keys.h"

#include <array>
#include <optional>

namespace form {
namespace {

bool isKey(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

class KeySet {
  public:
    bool has(char c) const { return isKey(c) && m_used[index(c)]; }
    void add(char c) {
        if (isKey(c))
            m_used[index(c)] = true;
    }

  private:
    static std::size_t index(char c) {
        const char u = upper(c);
        return u <= '9' ? static_cast<std::size_t>(u - '0')
                        : static_cast<std::size_t>(u - 'A' + 10);
    }
    std::array<bool, 36> m_used{};
};

// Whether the caption ends in a bracketed key of its own, "(x)": marking that letter would
// read back as a key added after the caption.
bool inOwnBrackets(std::string_view caption, std::size_t position) {
    const std::size_t n = caption.size();
    return n >= 3 && position == n - 2 && caption[n - 3] == '(' && caption[n - 1] == ')';
}

bool startsWord(std::string_view caption, std::size_t position) {
    return position == 0 || !isKey(caption[position - 1]);
}

// Where the key goes on the caption's own letters; none when no free letter fits.
std::optional<std::size_t> ownLetter(std::string_view caption, char preferred, const KeySet& used) {
    const auto pick = [&](auto&& accept) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < caption.size(); ++i) {
            if (isKey(caption[i]) && !used.has(caption[i]) && !inOwnBrackets(caption, i) &&
                accept(i))
                return i;
        }
        return std::nullopt;
    };
    const bool wantPreferred = isKey(preferred) && !used.has(preferred);
    const auto isPreferred = [&](std::size_t i) {
        return wantPreferred && upper(caption[i]) == upper(preferred);
    };
    if (auto at = pick([&](std::size_t i) { return isPreferred(i) && startsWord(caption, i); }))
        return at;
    if (auto at = pick(isPreferred))
        return at;
    if (auto at = pick([&](std::size_t i) { return startsWord(caption, i); }))
        return at;
    return pick([](std::size_t) { return true; });
}

char freeKey(char preferred, const KeySet& used) {
    if (isKey(preferred) && !used.has(preferred))
        return upper(preferred);
    for (const char c : std::string_view("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789")) {
        if (!used.has(c))
            return c;
    }
    return 0;
}

// `keyAt` is the position of the access key, npos for none. (A plain index rather than an
// optional: the optimiser compares an empty optional's unset value before its flag, which
// a memory checker reports as a use of uninitialised memory on every caption.)
std::string escaped(std::string_view caption, std::size_t keyAt) {
    std::string out;
    out.reserve(caption.size() + 4);
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (i == keyAt || caption[i] == '&')
            out += '&';
        out += caption[i];
    }
    return out;
}

bool hasBracketedKey(std::string_view marked) {
    const std::size_t n = marked.size();
    return n >= 4 && marked[n - 4] == '(' && marked[n - 3] == '&' && isKey(marked[n - 2]) &&
           marked[n - 1] == ')';
}

}  // namespace

std::vector<std::string> markAccessKeys(std::span<const AccessKeyItem> items,
                                        std::string_view taken) {
    KeySet used;
    for (const char c : taken) used.add(c);
    std::vector<std::string> marked;
    marked.reserve(items.size());
    for (const AccessKeyItem& item : items) {
        if (item.caption.empty()) {
            marked.emplace_back();
            continue;
        }
        if (const auto at = ownLetter(item.caption, item.preferred, used)) {
            used.add(item.caption[*at]);
            marked.push_back(escaped(item.caption, *at));
            continue;
        }
        const char key = freeKey(item.preferred, used);
        std::string text = escaped(item.caption, std::string_view::npos);
        if (key != 0) {
            used.add(key);
            text += "(&";
            text += key;
            text += ')';
        }
        marked.push_back(std::move(text));
    }
    return marked;
}

std::string stripAccessKey(std::string_view marked) {
    if (hasBracketedKey(marked))
        marked.remove_suffix(4);
    std::string plain;
    plain.reserve(marked.size());
    for (std::size_t i = 0; i < marked.size(); ++i) {
        if (marked[i] != '&') {
            plain += marked[i];
        } else if (i + 1 < marked.size() && marked[i + 1] == '&') {
            plain += '&';
            ++i;
        }
    }
    return plain;
}

char accessKeyOf(std::string_view marked) {
    if (hasBracketedKey(marked))
        return upper(marked[marked.size() - 2]);
    for (std::size_t i = 0; i + 1 < marked.size(); ++i) {
        if (marked[i] != '&')
            continue;
        if (marked[i + 1] == '&') {
            ++i;
        } else if (isKey(marked[i + 1])) {
            return upper(marked[i + 1]);
        }
    }
    return 0;
}

}  // namespace form
