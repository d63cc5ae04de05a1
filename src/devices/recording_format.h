#pragma once
// The text of a recording of what went through an adapter's port: a header line
// "tessaro-recording 1", then one event a line, "TIME KIND [FIELDS]", TIME in milliseconds
// since the recording started. Reports are lowercase hex without their trailing zero bytes.
// Lines starting with '#' and empty lines are notes. docs/recording.md describes every kind.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace devices {

inline constexpr std::string_view kRecordingHeader = "tessaro-recording 1";

enum class RecordedKind {
    // What the program did (a replay expects them in this order).
    Open,      // "open L R": the device opened with report length L and R reports a read
    OpenFail,  // "openfail STATUS [PID [NAME]]": the open failed (held by that process)
    Control,   // "C HEX [fail=STATUS]": a report through the control channel
    Output,    // "O HEX [fail=STATUS]": a report through the interrupt channel
    Close,     // "close"
    // What the device did (a replay delivers them on its own).
    Input,     // "I HEX": an input report the program read
    ReadFail,  // "readfail STATUS": a read failed
    Present,   // "present N": N adapters are present (written when the count changes)
    Removed,   // "removed": the open adapter (or, with none open, an adapter) went away
    Arrived,   // "arrived": an adapter came
};

struct RecordedEvent {
    uint32_t atMs = 0;
    RecordedKind kind = RecordedKind::Close;
    std::vector<uint8_t> bytes;  // C, O, I: the report without its trailing zeros
    int status = 0;              // openfail, readfail; C and O: the send's status
    uint32_t first = 0;          // open: L; present: N; openfail: the holder's pid
    uint32_t second = 0;         // open: R
    std::string text;            // openfail: the holder's program name
    size_t line = 0;             // where it stood in the file (1 = the header)
};

// Whether the program (rather than the device) made the event happen.
bool isProgramEvent(RecordedKind kind);

// The event as one line of the file, without the newline.
std::string formatEvent(const RecordedEvent& event);
// The report's bytes up to the last non-zero one (at least one byte).
std::vector<uint8_t> trimmedReport(const uint8_t* report, uint32_t length);
// Lowercase hex, two digits a byte.
std::string hexReport(const std::vector<uint8_t>& bytes);

// Reads a whole recording. False with "line N: reason" in `error` for a file that is not
// one: a wrong header, an unknown kind, bad or odd-length hex, a missing or extra field,
// or a time earlier than the line before.
bool parseRecording(std::string_view text, std::vector<RecordedEvent>& events, std::string& error);

}  // namespace devices
