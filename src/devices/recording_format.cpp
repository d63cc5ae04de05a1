#include "devices/recording_format.h"

#include <charconv>

namespace devices {

namespace {

struct KindName {
    RecordedKind kind;
    std::string_view name;
};

constexpr KindName kKindNames[] = {
    {RecordedKind::Open, "open"},         {RecordedKind::OpenFail, "openfail"},
    {RecordedKind::Control, "C"},         {RecordedKind::Output, "O"},
    {RecordedKind::Close, "close"},       {RecordedKind::Input, "I"},
    {RecordedKind::ReadFail, "readfail"}, {RecordedKind::Present, "present"},
    {RecordedKind::Removed, "removed"},   {RecordedKind::Arrived, "arrived"},
};

constexpr std::string_view kFailPrefix = "fail=";

std::string_view kindName(RecordedKind kind) {
    for (const KindName& k : kKindNames) {
        if (k.kind == kind)
            return k.name;
    }
    return "?";
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
    return out;
}

template <class T>
bool number(std::string_view word, T& value) {
    if (word.empty())
        return false;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    return ec == std::errc{} && end == word.data() + word.size();
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string quoted(std::string_view word) {
    return "\"" + std::string(word) + "\"";
}

bool hexBytes(std::string_view word, std::vector<uint8_t>& bytes, std::string& error) {
    for (char c : word) {
        if (hexDigit(c) < 0) {
            error = "bad hex " + quoted(word);
            return false;
        }
    }
    if (word.size() % 2 != 0) {
        error = "odd number of hex digits in " + quoted(word);
        return false;
    }
    bytes.clear();
    for (size_t i = 0; i < word.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(hexDigit(word[i]) * 16 + hexDigit(word[i + 1])));
    return true;
}

// The fields after TIME and KIND into `event`; false with the reason.
bool parseFields(const std::vector<std::string_view>& w, std::string_view line,
                 RecordedEvent& event, std::string& error) {
    const std::string_view name = w[1];
    const size_t fields = w.size() - 2;
    const auto wants = [&](const char* what) {
        error = quoted(name) + " wants " + what;
        return false;
    };
    switch (event.kind) {
        case RecordedKind::Open:
            if (fields != 2 || !number(w[2], event.first) || !number(w[3], event.second) ||
                event.first == 0 || event.second == 0)
                return wants("the report length and the report count, both above 0");
            return true;
        case RecordedKind::OpenFail: {
            if (fields < 1 || !number(w[2], event.status))
                return wants("the open's status, then the holder's pid and name if any");
            if (fields >= 2 && !number(w[3], event.first))
                return wants("the holder's pid as a number");
            if (fields >= 3) {
                // The name is the rest of the line: a program's name may hold spaces.
                event.text =
                    std::string(line.substr(static_cast<size_t>(w[4].data() - line.data())));
                while (!event.text.empty() &&
                       (event.text.back() == ' ' || event.text.back() == '\t'))
                    event.text.pop_back();
            }
            return true;
        }
        case RecordedKind::Control:
        case RecordedKind::Output:
            if (fields < 1 || fields > 2)
                return wants("the report in hex, then fail=STATUS if the send failed");
            if (!hexBytes(w[2], event.bytes, error))
                return false;
            if (fields == 2 && (!w[3].starts_with(kFailPrefix) ||
                                !number(w[3].substr(kFailPrefix.size()), event.status)))
                return wants("fail=STATUS after the report");
            if (event.bytes.empty())
                return wants("the report in hex");
            return true;
        case RecordedKind::Input:
            if (fields != 1)
                return wants("the report in hex");
            return hexBytes(w[2], event.bytes, error) &&
                   (!event.bytes.empty() || wants("the report in hex"));
        case RecordedKind::ReadFail:
            if (fields != 1 || !number(w[2], event.status))
                return wants("the read's status");
            return true;
        case RecordedKind::Present:
            if (fields != 1 || !number(w[2], event.first))
                return wants("the number of adapters present");
            return true;
        case RecordedKind::Close:
        case RecordedKind::Removed:
        case RecordedKind::Arrived:
            if (fields != 0)
                return wants("nothing after it");
            return true;
    }
    return false;
}

}  // namespace

bool isProgramEvent(RecordedKind kind) {
    switch (kind) {
        case RecordedKind::Open:
        case RecordedKind::OpenFail:
        case RecordedKind::Control:
        case RecordedKind::Output:
        case RecordedKind::Close:
            return true;
        default:
            return false;
    }
}

std::vector<uint8_t> trimmedReport(const uint8_t* report, uint32_t length) {
    uint32_t end = length;
    while (end > 1 && report[end - 1] == 0) --end;
    return std::vector<uint8_t>(report, report + end);
}

std::string hexReport(const std::vector<uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

std::string formatEvent(const RecordedEvent& event) {
    std::string line = std::to_string(event.atMs) + " " + std::string(kindName(event.kind));
    switch (event.kind) {
        case RecordedKind::Open:
            line += " " + std::to_string(event.first) + " " + std::to_string(event.second);
            break;
        case RecordedKind::OpenFail:
            line += " " + std::to_string(event.status);
            if (event.first != 0 || !event.text.empty())
                line += " " + std::to_string(event.first);
            if (!event.text.empty())
                line += " " + event.text;
            break;
        case RecordedKind::Control:
        case RecordedKind::Output:
            line += " " + hexReport(event.bytes);
            if (event.status != 0)
                line += " " + std::string(kFailPrefix) + std::to_string(event.status);
            break;
        case RecordedKind::Input:
            line += " " + hexReport(event.bytes);
            break;
        case RecordedKind::ReadFail:
            line += " " + std::to_string(event.status);
            break;
        case RecordedKind::Present:
            line += " " + std::to_string(event.first);
            break;
        case RecordedKind::Close:
        case RecordedKind::Removed:
        case RecordedKind::Arrived:
            break;
    }
    return line;
}

bool parseRecording(std::string_view text, std::vector<RecordedEvent>& events, std::string& error) {
    events.clear();
    size_t lineNumber = 0;
    size_t position = 0;
    uint32_t lastTime = 0;
    while (position < text.size()) {
        size_t end = text.find('\n', position);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(position, end - position);
        position = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const auto failAt = [&](const std::string& reason) {
            error = "line " + std::to_string(lineNumber) + ": " + reason;
            events.clear();
            return false;
        };
        if (lineNumber == 1) {
            if (line != kRecordingHeader)
                return failAt("not a recording: the first line must be " +
                              quoted(kRecordingHeader));
            continue;
        }
        const std::vector<std::string_view> w = words(line);
        if (w.empty() || w[0].starts_with('#'))
            continue;
        RecordedEvent event;
        event.line = lineNumber;
        if (!number(w[0], event.atMs))
            return failAt("bad time " + quoted(w[0]) + ": milliseconds since the start");
        if (event.atMs < lastTime)
            return failAt("time " + std::to_string(event.atMs) + " is earlier than " +
                          std::to_string(lastTime) + " on the line before");
        if (w.size() < 2)
            return failAt("an event's kind is missing after the time");
        bool known = false;
        for (const KindName& k : kKindNames) {
            if (k.name == w[1]) {
                event.kind = k.kind;
                known = true;
            }
        }
        if (!known)
            return failAt("unknown event " + quoted(w[1]));
        std::string reason;
        if (!parseFields(w, line, event, reason))
            return failAt(reason);
        lastTime = event.atMs;
        events.push_back(std::move(event));
    }
    if (lineNumber == 0) {
        error = "line 1: not a recording: the file is empty";
        return false;
    }
    return true;
}

}  // namespace devices
