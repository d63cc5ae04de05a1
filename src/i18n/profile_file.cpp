#include "i18n/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/atomic_file.h"
#include "common/input_file.h"
#include "i18n/text_encoding.h"

// The file is kept as raw bytes and cut into lines at the byte (or UTF-16 unit) level;
// only each line's text is decoded. A write then splices a few new bytes into the old
// ones, so every byte outside the written line stays exactly as it was, whatever the
// encoding and even where a line holds bytes that do not decode.
//
// "Characters" are Unicode code points throughout: the 259-character cut and the
// 29-character integer window count code points, not bytes and not UTF-16 units.

namespace i18n {
namespace {

constexpr char kNewline = '\n';
constexpr char kReturn = '\r';
constexpr const char* kDefaultLineEnd = "\n";
constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

struct Line {
    std::size_t begin = 0;    // first byte of the text
    std::size_t textEnd = 0;  // one past the text: where the line ending starts
    std::size_t end = 0;      // one past the line ending
    std::string text;         // the text as UTF-8
    // How the line's bytes were decoded: the file's UTF-16 encoding, or, in a file
    // without a UTF-16 BOM, UTF-8 for a line that is valid UTF-8 and GB18030 otherwise.
    TextEncoding encoding = TextEncoding::Utf8;
    bool ascii = true;  // only 7-bit bytes: the same text in every 8-bit encoding
};

enum class LineKind { Other, Header, Entry };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string name;   // section or key name, trimmed
    std::string value;  // value, trimmed, outer quotes removed (entries only)
};

struct Document {
    std::string bytes;
    // Utf16Le or Utf16Be for a file with that BOM; Utf8 otherwise, where each line has
    // its own encoding (Line::encoding).
    TextEncoding encoding = TextEncoding::Utf8;
    std::size_t bomLength = 0;
    // End of the last whole unit. A lone byte after it (a UTF-16 file of odd length)
    // belongs to no line and stays at the very end, so that added lines keep to the grid.
    std::size_t contentEnd = 0;
    std::string lineEnd = kDefaultLineEnd;  // the file's own, for lines we add
    std::vector<Line> lines;
};

// --- Names and values -------------------------------------------------------------------

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

bool isQuote(char c) {
    return c == '"' || c == '\'';
}

std::string_view stripQuotes(std::string_view v) {
    if (v.size() >= 2 && isQuote(v.front()) && v.back() == v.front()) {
        return v.substr(1, v.size() - 2);
    }
    return v;
}

ParsedLine parseLine(const std::string& text) {
    ParsedLine parsed;
    const std::string_view line = trim(text);
    if (!line.empty() && line.front() == '[') {
        // The last "]" closes the name, as the platform's reader does; a "[" line without
        // one is no header and is read like any other line.
        const std::size_t close = line.rfind(']');
        if (close != std::string_view::npos) {
            parsed.kind = LineKind::Header;
            parsed.name = std::string(trim(line.substr(1, close - 1)));
            return parsed;
        }
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos)
        return parsed;
    parsed.kind = LineKind::Entry;
    parsed.name = std::string(trim(std::string_view(text).substr(0, equals)));
    parsed.value = std::string(stripQuotes(trim(std::string_view(text).substr(equals + 1))));
    return parsed;
}

// --- Lines ------------------------------------------------------------------------------

// Cuts the bytes after the BOM into lines ending in CRLF, LF or CR. Line endings are
// found at the unit level: in GB18030 no trail byte takes the values of CR or LF.
void splitLines(Document& doc) {
    const std::size_t unit = codeUnitSize(doc.encoding);
    const std::string& b = doc.bytes;
    const auto at = [&](std::size_t pos) -> char16_t {
        return unit == 2 ? utf16UnitAt(b, pos, doc.encoding)
                         : static_cast<char16_t>(static_cast<unsigned char>(b[pos]));
    };
    bool lineEndSeen = false;
    std::size_t begin = doc.bomLength;
    std::size_t pos = begin;
    const std::size_t usable = b.size() - (b.size() - doc.bomLength) % unit;
    doc.contentEnd = usable;
    while (begin < usable) {
        while (pos < usable && at(pos) != kNewline && at(pos) != kReturn) pos += unit;
        Line line;
        line.begin = begin;
        if (pos >= usable) {
            line.textEnd = line.end = usable;
        } else {
            line.textEnd = pos;
            const bool crlf =
                at(pos) == kReturn && pos + unit < usable && at(pos + unit) == kNewline;
            line.end = pos + (crlf ? 2 * unit : unit);
            if (!lineEndSeen) {
                lineEndSeen = true;
                doc.lineEnd = crlf ? "\r\n" : (at(pos) == kReturn ? "\r" : "\n");
            }
        }
        const std::string_view raw =
            std::string_view(b).substr(line.begin, line.textEnd - line.begin);
        if (unit == 2) {
            line.encoding = doc.encoding;
            line.ascii = false;
        } else {
            line.encoding = lineEncoding(raw);
            line.ascii = isAscii(raw);
        }
        line.text = decodeText(raw, line.encoding);
        doc.lines.push_back(std::move(line));
        begin = pos = doc.lines.back().end;
    }
}

enum class LoadResult { Loaded, Missing, Unreadable };

std::atomic<uint64_t> g_fileLoads{0};

// What tells one state of a file from another: a file edited or replaced by another
// program differs in at least one of these.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    mode_t mode = 0;

    static FileStamp of(const struct stat& st) {
        return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim, st.st_mode};
    }
    bool operator==(const FileStamp& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec &&
               mode == o.mode;
    }
};

LoadResult loadDocument(const std::string& path, Document& doc, FileStamp* stamp = nullptr) {
    // Never waits on a FIFO or device, and never reads more than a language file holds.
    common::InputFile file = common::readInputFile(path, kMaxProfileFileBytes);
    if (!file.ok())
        return file.error == common::InputFileError::Missing ? LoadResult::Missing
                                                             : LoadResult::Unreadable;
    g_fileLoads.fetch_add(1, std::memory_order_relaxed);
    if (stamp != nullptr)
        *stamp = FileStamp::of(file.status);
    doc.bytes = std::move(file.bytes);
    const DetectedEncoding detected = detectEncoding(doc.bytes);
    // Without a UTF-16 BOM the file is read line by line: a line added by hand in another
    // encoding spoils that line only, not every other line's text.
    doc.encoding = isUtf16(detected.encoding) ? detected.encoding : TextEncoding::Utf8;
    doc.bomLength = detected.bomLength;
    splitLines(doc);
    return LoadResult::Loaded;
}

// Lines [first, end) of the first section called `name`; the unnamed section holds the
// lines before the first header and always exists.
struct SectionRange {
    std::size_t first = 0;
    std::size_t end = 0;
};

std::optional<SectionRange> findSection(const std::vector<ParsedLine>& parsed,
                                        std::string_view name) {
    std::optional<SectionRange> found;
    if (name.empty())
        found = SectionRange{0, 0};
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        if (parsed[i].kind != LineKind::Header)
            continue;
        if (found) {
            found->end = i;
            return found;
        }
        if (equalsIgnoringAsciiCase(parsed[i].name, name))
            found = SectionRange{i + 1, i + 1};
    }
    if (found)
        found->end = parsed.size();
    return found;
}

// The line a write of `key` takes over: the first that gives the key, or the first that
// holds nothing but the key's name (a hand edit that lost its "="), whichever comes
// first, so that no other line is left in front of the written one to hide it from
// readers that take such a line for the key with an empty value.
std::optional<std::size_t> findKeyLine(const Document& doc, const std::vector<ParsedLine>& parsed,
                                       SectionRange section, std::string_view key) {
    for (std::size_t i = section.first; i < section.end; ++i) {
        if (parsed[i].kind == LineKind::Entry && equalsIgnoringAsciiCase(parsed[i].name, key))
            return i;
        if (parsed[i].kind == LineKind::Other &&
            equalsIgnoringAsciiCase(trim(doc.lines[i].text), key))
            return i;
    }
    return std::nullopt;
}

std::vector<ParsedLine> parseAll(const Document& doc) {
    std::vector<ParsedLine> parsed;
    parsed.reserve(doc.lines.size());
    for (const Line& line : doc.lines) parsed.push_back(parseLine(line.text));
    return parsed;
}

// --- Parsed copies -----------------------------------------------------------------------
//
// Reads are served from a parsed copy of the file, kept per path and taken anew as soon as
// the file at the path is another one or was changed (its stamp differs), so that an edit
// by another program shows at the next read. The stamp is taken from the opened file
// itself, so a copy never belongs to a state other than the one it was parsed from. Own
// writes drop the path's copy. A change that leaves size, times and file alike (a rewrite
// within one tick of the file system's clock) is the one edit that can go unseen.

constexpr std::size_t kMaxParsedCopies = 8;

// The name a value is found by: the section's and the key's names in lower case, with a
// line break (which no name can hold) between them.
void appendValueName(std::string& out, std::string_view section, std::string_view key) {
    for (const char c : section) out += asciiLower(c);
    out += kNewline;
    for (const char c : key) out += asciiLower(c);
}

// Every value a read can find, sorted by its name: a lookup is a binary search, so it
// takes about as long in a file of megabytes as in a small one, and the copy is a few
// blocks of memory rather than one per line. The rules are those of findSection and
// findKey: the lines before the first header form the unnamed section, the first section
// of a name hides later ones (the unnamed one any later "[]"), and the first of duplicate
// keys wins (the sort keeps the file's order among equal names, and the search finds the
// first of them).
class ParsedCopy {
  public:
    ParsedCopy(const FileStamp& fileStamp, const Document& doc) : stamp(fileStamp) {
        std::unordered_set<std::string> seenSections{std::string()};
        std::string section;  // lower case
        bool hidden = false;
        m_entries.reserve(doc.lines.size());
        for (const Line& line : doc.lines) {
            const ParsedLine parsed = parseLine(line.text);
            if (parsed.kind == LineKind::Header) {
                section.clear();
                for (const char c : parsed.name) section += asciiLower(c);
                hidden = !seenSections.insert(section).second;
            } else if (parsed.kind == LineKind::Entry && !hidden) {
                Entry entry{m_names.size(), 0, m_values.size(), parsed.value.size()};
                appendValueName(m_names, section, parsed.name);
                entry.nameLength = m_names.size() - entry.nameBegin;
                m_values += parsed.value;
                m_entries.push_back(entry);
            }
        }
        std::stable_sort(m_entries.begin(), m_entries.end(),
                         [this](const Entry& a, const Entry& b) { return name(a) < name(b); });
    }

    std::optional<std::string> find(std::string_view section, std::string_view key) const {
        std::string wanted;
        wanted.reserve(section.size() + 1 + key.size());
        appendValueName(wanted, section, key);
        const auto it =
            std::lower_bound(m_entries.begin(), m_entries.end(), wanted,
                             [this](const Entry& e, const std::string& n) { return name(e) < n; });
        if (it == m_entries.end() || name(*it) != wanted)
            return std::nullopt;
        return std::string(m_values, it->valueBegin, it->valueLength);
    }

    FileStamp stamp;

  private:
    struct Entry {
        std::size_t nameBegin;
        std::size_t nameLength;
        std::size_t valueBegin;
        std::size_t valueLength;
    };
    std::string_view name(const Entry& e) const {
        return std::string_view(m_names).substr(e.nameBegin, e.nameLength);
    }

    std::string m_names;
    std::string m_values;
    std::vector<Entry> m_entries;
};

std::mutex g_copiesMutex;
std::map<std::string, ParsedCopy>& parsedCopies() {
    static std::map<std::string, ParsedCopy> copies;
    return copies;
}

void dropParsedCopy(const std::string& path) {
    const std::lock_guard<std::mutex> lock(g_copiesMutex);
    parsedCopies().erase(path);
}

// The full value of the key, before any cut; nullopt when file, section or key is missing.
std::optional<std::string> lookup(const std::string& path, std::string_view section,
                                  std::string_view key) {
    const std::lock_guard<std::mutex> lock(g_copiesMutex);
    auto& copies = parsedCopies();
    auto it = copies.find(path);
    struct stat st {};
    const bool present = ::stat(path.c_str(), &st) == 0;
    if (it != copies.end() && !(present && it->second.stamp == FileStamp::of(st))) {
        copies.erase(it);
        it = copies.end();
    }
    if (it == copies.end()) {
        Document doc;
        FileStamp stamp;
        if (loadDocument(path, doc, &stamp) != LoadResult::Loaded)
            return std::nullopt;
        if (copies.size() >= kMaxParsedCopies)
            copies.clear();
        it = copies.insert_or_assign(path, ParsedCopy(stamp, doc)).first;
    }
    return it->second.find(trim(section), trim(key));
}

// --- Writing ----------------------------------------------------------------------------

// Replaces the file's contents so that a failure leaves the old file whole (see
// common::replaceFile). When no temporary file can be made beside it, an existing file is rewritten
// in place instead, with its space reserved first so that a full disk fails before the
// first byte changes.
bool replaceFile(const std::string& path, const std::string& bytes) {
    const common::AtomicWriteResult replaced = common::replaceFile(path, bytes);
    if (replaced.ok())
        return true;
    if (replaced.failedStep != common::AtomicWriteStep::CreateTemporary)
        return false;
    const int inPlace = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (inPlace < 0)
        return false;
    bool ok = bytes.empty() || ::posix_fallocate(inPlace, 0, static_cast<off_t>(bytes.size())) == 0;
    ok = ok && common::writeAll(inPlace, bytes) == 0 &&
         ::ftruncate(inPlace, static_cast<off_t>(bytes.size())) == 0 && ::fsync(inPlace) == 0;
    ok = (::close(inPlace) == 0) && ok;
    return ok;
}

bool isReadOnly(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return true;
    // A file without any write bit counts as read-only even for a privileged user,
    // like the read-only attribute on the platform these files come from.
    return (st.st_mode & kWriteBits) == 0 || ::access(path.c_str(), W_OK) != 0;
}

bool hasLineBreak(std::string_view s) {
    return s.find(kNewline) != std::string_view::npos || s.find(kReturn) != std::string_view::npos;
}

// The value as it goes into the file: quoted when the reader would otherwise trim it or
// take its own outer quotes away, so that it reads back as written.
std::string storedValue(std::string_view value) {
    const bool needsQuotes =
        !value.empty() &&
        (isBlank(value.front()) || isBlank(value.back()) ||
         (value.size() >= 2 && isQuote(value.front()) && value.back() == value.front()));
    if (!needsQuotes)
        return std::string(value);
    return '"' + std::string(value) + '"';
}

// The encoding of lines the write adds to an 8-bit file: the one most of its non-ASCII
// lines are in (GB18030 only where it is the majority), so that a file kept in the legacy
// code page stays in it. A line of only ASCII bytes keeps to the same rule when written.
TextEncoding addedLineEncoding(const Document& doc) {
    if (isUtf16(doc.encoding))
        return doc.encoding;
    std::size_t utf8 = 0;
    std::size_t gb = 0;
    for (const Line& line : doc.lines) {
        if (line.ascii)
            continue;
        ++(line.encoding == TextEncoding::Gb18030 ? gb : utf8);
    }
    return gb > utf8 ? TextEncoding::Gb18030 : TextEncoding::Utf8;
}

// Byte offset, in the file, of the first value character of an entry line: after its
// first "=" and the blanks behind it. Found at the unit level, so the key's bytes are
// never decoded and written anew: neither "=" nor a blank is ever part of a multi-byte
// character in the encodings read.
std::size_t valueOffset(const Document& doc, const Line& line) {
    const std::size_t unit = codeUnitSize(doc.encoding);
    const auto at = [&](std::size_t pos) -> char16_t {
        return unit == 2 ? utf16UnitAt(doc.bytes, pos, doc.encoding)
                         : static_cast<char16_t>(static_cast<unsigned char>(doc.bytes[pos]));
    };
    std::size_t pos = line.begin;
    while (pos < line.textEnd && at(pos) != u'=') pos += unit;
    if (pos < line.textEnd)
        pos += unit;
    while (pos < line.textEnd && at(pos) < 0x80 && isBlank(static_cast<char>(at(pos)))) pos += unit;
    return pos;
}

// Whether every line of `bytes` that is not plain ASCII is read as GB18030, that is, is
// no valid UTF-8.
bool readsAsGb18030(std::string_view bytes) {
    std::size_t begin = 0;
    while (begin <= bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", begin);
        if (end == std::string_view::npos)
            end = bytes.size();
        const std::string_view line = bytes.substr(begin, end - begin);
        if (!isAscii(line) && lineEncoding(line) == TextEncoding::Utf8)
            return false;
        begin = end + 1;
    }
    return true;
}

bool writeKey(const std::string& path, std::string_view section, std::string_view key,
              std::string_view value);

}  // namespace

std::string ProfileFile::readString(const std::string& path, std::string_view section,
                                    std::string_view key, std::string_view fallback,
                                    std::size_t capacity) {
    if (capacity == 0)
        return std::string();
    const auto value = lookup(path, section, key);
    return cutToCharacters(value ? std::string_view(*value) : fallback, capacity - 1);
}

uint32_t ProfileFile::readInt(const std::string& path, std::string_view section,
                              std::string_view key, int32_t fallback) {
    const std::string value = readString(path, section, key, "", kIntegerCharacters + 1);
    if (value.empty())
        return static_cast<uint32_t>(fallback);
    return parseInt(value);
}

uint32_t ProfileFile::parseInt(std::string_view value) {
    const std::string text = cutToCharacters(value, kIntegerCharacters);
    std::size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Hexadecimal after "0x" or "0X"; everything else is decimal, also with leading
    // zeros ("017" is 17): no other prefix has a meaning.
    uint32_t base = 10;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    uint32_t total = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        uint32_t digit = base;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<uint32_t>(c - 'A' + 10);
        }
        if (digit >= base)
            break;
        total = total * base + digit;  // unsigned: wraps modulo 2^32
    }
    return negative ? 0u - total : total;
}

bool ProfileFile::canStore(std::string_view section, std::string_view key, std::string_view value) {
    const std::string_view keyName = trim(key);
    return !keyName.empty() && keyName.find('=') == std::string_view::npos &&
           keyName.front() != '[' && !hasLineBreak(section) && !hasLineBreak(keyName) &&
           !hasLineBreak(value) && isValidUtf8(section) && isValidUtf8(keyName) &&
           isValidUtf8(value);
}

bool ProfileFile::writeString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view value) {
    if (!canStore(section, key, value))
        return false;
    // The value already there, read from the file's parsed copy (taken anew if the file
    // changed): the file stays untouched, and so does its copy. A read-only file still
    // refuses the write.
    if (!isReadOnly(path)) {
        const std::optional<std::string> now = lookup(path, section, key);
        if (now && *now == value)
            return true;
    }
    const bool written = writeKey(path, section, key, value);
    // Whatever happened to the file, the next read takes it from the disk.
    dropParsedCopy(path);
    return written;
}

uint64_t ProfileFile::fileLoads() {
    return g_fileLoads.load(std::memory_order_relaxed);
}

namespace {

bool writeKey(const std::string& path, std::string_view section, std::string_view key,
              std::string_view value) {
    const std::string_view sectionName = trim(section);
    const std::string_view keyName = trim(key);
    const std::string entry = std::string(keyName) + '=' + storedValue(value);
    const std::string header = '[' + std::string(sectionName) + ']';

    Document doc;
    switch (loadDocument(path, doc)) {
        case LoadResult::Unreadable:
            return false;
        case LoadResult::Missing: {
            std::string text = sectionName.empty() ? std::string() : header + kDefaultLineEnd;
            return common::replaceFile(path, text + entry + kDefaultLineEnd).ok();
        }
        case LoadResult::Loaded:
            break;
    }
    if (isReadOnly(path))
        return false;

    const std::vector<ParsedLine> parsed = parseAll(doc);
    const auto range = findSection(parsed, sectionName);
    std::size_t spliceBegin = 0;
    std::size_t spliceEnd = 0;
    std::string insertText;
    TextEncoding encoding = addedLineEncoding(doc);
    std::optional<std::size_t> lineBegin;  // where the written line starts, when before spliceBegin
    if (range) {
        if (const auto index = findKeyLine(doc, parsed, *range, keyName)) {
            const Line& line = doc.lines[*index];
            if (!line.ascii)
                encoding = line.encoding;
            spliceEnd = line.textEnd;
            if (parsed[*index].kind == LineKind::Entry) {
                if (parsed[*index].value == value)
                    return true;  // already there: leave the file
                // Only the value's bytes change; the key and the "=" stay as they are.
                spliceBegin = valueOffset(doc, line);
                lineBegin = line.begin;
                insertText = storedValue(value);
            } else {
                spliceBegin = line.begin;
                insertText = entry;
            }
        } else {
            // After the section's last non-blank line, so blank lines before the next
            // header stay where they are.
            std::optional<std::size_t> anchor;
            for (std::size_t i = range->end; i > range->first; --i) {
                if (!trim(doc.lines[i - 1].text).empty()) {
                    anchor = i - 1;
                    break;
                }
            }
            if (!anchor && !sectionName.empty())
                anchor = range->first - 1;  // the header
            if (anchor) {
                spliceBegin = spliceEnd = doc.lines[*anchor].textEnd;
                insertText = doc.lineEnd + entry;
            } else {
                spliceBegin = spliceEnd = doc.bomLength;
                insertText = entry + doc.lineEnd;
            }
        }
    } else {
        spliceBegin = spliceEnd = doc.contentEnd;
        if (doc.lines.empty() || doc.lines.back().end != doc.lines.back().textEnd) {
            insertText = header + doc.lineEnd + entry + doc.lineEnd;
        } else {
            insertText = doc.lineEnd + header + doc.lineEnd + entry;  // no final line end
        }
    }
    const std::size_t writtenFrom = lineBegin.value_or(spliceBegin);
    auto encoded = encodeText(insertText, encoding);
    if (!encoded)
        return false;
    // A line written in GB18030 whose bytes happen to be valid UTF-8 would be read back as
    // UTF-8: such text goes in as UTF-8, which reads back as written.
    if (encoding == TextEncoding::Gb18030 &&
        !readsAsGb18030(doc.bytes.substr(writtenFrom, spliceBegin - writtenFrom) + *encoded)) {
        encoded = encodeText(insertText, TextEncoding::Utf8);
    }
    std::string bytes = doc.bytes.substr(0, spliceBegin) + *encoded + doc.bytes.substr(spliceEnd);
    return replaceFile(path, bytes);
}

}  // namespace

}  // namespace i18n
