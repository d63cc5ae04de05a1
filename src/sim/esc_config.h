#pragma once
// What the simulated adapter and ESC look like and how they misbehave: the values behind
// the device URI "sim:key=value,...".

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Faults of the firmware update. The ESC's answers during an update are numbered from 0
// in the order it gives them: 0 the echo of the request, 1 the "ok" for the start,
// 2 … n+1 the "ok" of the blocks 0 … n-1, n+2 the "ok" for the end. -1: no such fault.
struct FirmwareFaults {
    int loseAnswer = -1;       // this answer is not sent
    int splitAnswer = -1;      // this "ok" comes as an "o" and, a tick later, a "k"
    int extraByteAnswer = -1;  // a third byte follows this answer's "k"
    int silentFrom = -1;       // no answers from this one on, until the next request
};

// A real adapter and ESC answer a few milliseconds after the command: USB polling, the
// ESC's serial line and its own work.
inline constexpr uint32_t kRealisticLatencyMs = 4;
inline constexpr uint32_t kRealisticJitterMs = 6;

struct EscConfig {
    // The ESC version reply, bytes 0 to 6.
    uint8_t variant = 1;  // byte 0
    uint8_t family = 3;   // byte 1, the EscFamily
    uint8_t major = 1;    // byte 2
    uint8_t minor = 2;    // byte 3
    uint8_t b4 = 16;      // byte 4, build field
    uint8_t b5 = 12;      // byte 5, build field
    uint8_t b6 = 5;       // byte 6, build field
    // Stored parameter bytes P1 ... Pn; empty: the family's factory defaults.
    std::vector<uint8_t> params;
    // The adapter's version as shown: major, minor and the three build fields
    // (bytes 1, 3, 5, 6, 7 of its version reply).
    std::array<uint8_t, 5> adapter = {1, 5, 20, 12, 1};
    bool adapterAnswers = true;  // false: no version reply to the connect report
    // The adapter is listed but this user may not open it: the errno its open fails with
    // (EACCES for a node without rights, EBUSY for one another program holds); 0: it opens.
    int openError = 0;
    // Length of the reply to the family-7 settings query: 9, 10 or 11.
    uint32_t family7ReplyLength = 11;

    // Faults.
    uint32_t silentCommands = 0;      // the ESC ignores this many commands, then answers again
    bool silentForever = false;       // the ESC never answers
    int settingsReplyLength = -1;     // settings replies cut or zero-padded to this; -1: as stored
    uint32_t versionReplyLength = 7;  // version reply cut or zero-padded to this
    // Every answer (the adapter's version included) leaves latencyMs plus 0 … jitterMs
    // after the command that caused it, never before an earlier answer. The default is
    // what a real adapter and ESC do; 0 and 0 answer at once (a special case for tests).
    uint32_t latencyMs = kRealisticLatencyMs;
    uint32_t jitterMs = kRealisticJitterMs;
    uint32_t seed = 1;  // of the jitter's pseudo-random sequence
    // Bytes the ESC sends unasked after each link-poll answer (a late echo, line noise):
    // they are pending when the next command starts, which must drain them.
    std::vector<uint8_t> stale;
    uint32_t staleDelayMs = 0;
    FirmwareFaults firmware;
    // A parameter byte P1 … that a write frame leaves as it was (a worn cell): 0 for none.
    uint32_t stuckParam = 0;
    // A bench where one ESC after another is put onto the adapter's lead: the families of
    // the ESCs after this one, in order (each with its factory settings, the rest of this
    // configuration kept). This ESC answers for `escStayCommands` commands, then nothing
    // does for `escGapCommands` commands (the lead is empty), then the next one answers.
    // The last one stays. A firmware update under way is never cut off: the swap waits.
    // The gap's default is longer than the 50 silent polls after which the program takes
    // an ESC for gone.
    std::vector<uint8_t> nextEscFamilies;
    uint32_t escStayCommands = 300;
    uint32_t escGapCommands = 100;
    // A name makes the simulated adapter one that a single process may have open at a
    // time, as a real one (the lock is named after it); empty: no such rule.
    std::string name;
};

// Reads "key=value,key=value" (the URI text after "sim:") into `config`, which keeps its
// values for keys not given. Keys: family, variant, major, minor, b4, b5, b6 (0..255,
// decimal or 0x hex), params (hex digits, no spaces), adapter (five dot-separated bytes,
// or "none"), f7len (9, 10, 11), silent (a count of commands, or "always"), setlen,
// verlen (reply lengths), access (ok, denied or busy: whether the adapter opens), latency and
// jitter (ms: every answer leaves latency plus up to jitter after its command; latency given alone
// means an exact delay, jitter 0), seed (of the jitter), stale (hex), staledelay (ms), and for the
// firmware update fwlose, fwsplit, fwextra, fwsilent (an answer number, see FirmwareFaults); stuck
// (a parameter byte's position); escs (families such as escs=3,3,1: the first is this ESC's
// family, the others follow it on the lead), escstay and escgap (commands); name (letters,
// digits, '-', '_', '.': the adapter one process at a time may open). False with a message in
// `error` for an unknown key or a bad value; `config` is then unchanged.
bool parseSimOptions(std::string_view options, EscConfig& config, std::string& error);

// The same ESC answering at once: no latency, no jitter.
EscConfig instantEscConfig(EscConfig config = {});

}  // namespace sim
