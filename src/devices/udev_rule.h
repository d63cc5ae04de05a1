#pragma once
// The udev rule that lets the user at the seat open the link adapter: which rule files of
// the system concern the adapter, whether this program's rule is the one in force, and
// putting it in place with udev told to apply it to an adapter already plugged in.
//
// udev reads the *.rules files of several folders as one list sorted by file name; a file
// in an earlier folder hides a file of the same name in a later one. The rule must come
// before 73-seat-late.rules, which turns the "uaccess" tag into the seat user's access.
//
// Programs are run through an injected runner, so that the tests never run udevadm, sudo
// or pkexec.

#include <functional>
#include <string>
#include <vector>

namespace devices {

inline constexpr char kUdevRuleName[] = "60-tessaro.rules";
// The file that applies the "uaccess" tag: a rule sorting after it comes too late.
inline constexpr char kUdevSeatLateName[] = "73-seat-late.rules";

// The folders udev reads rules from, highest precedence first.
std::vector<std::string> udevRuleDirs();

// One rule file that concerns the adapter: named kUdevRuleName, or naming the adapter's
// USB ids.
struct UdevRuleFile {
    std::string path;
    bool same = false;      // its rules are exactly kUdevRule (comments and blank lines aside)
    bool hidden = false;    // a file of the same name in an earlier folder hides it
    bool tooLate = false;   // it sorts after kUdevSeatLateName: "uaccess" is not applied
    std::string hiddenBy;   // the file that hides it
    std::string firstRule;  // its first rule line, for a different one
};

struct UdevRuleStatus {
    std::vector<UdevRuleFile> files;  // in the order of `dirs`, then of their names
    // A file in force holds exactly this program's rule, early enough for "uaccess".
    bool installed() const;
};

// The rule files of `dirs` (highest precedence first) that concern the adapter.
UdevRuleStatus checkUdevRule(const std::vector<std::string>& dirs = udevRuleDirs());

// Runs a program (argv[0] found on PATH) with the terminal of this process, and waits:
// its exit status, 128 + the signal that ended it, or -1 when it could not be started.
using CommandRunner = std::function<int(const std::vector<std::string>& argv)>;
int runProgram(const std::vector<std::string>& argv);

// The udevadm calls after the rule is in place: reload the rules, then replay the "change"
// event of the hidraw nodes and of the adapter's USB device so that one already plugged in
// gets the new rights without being replugged.
std::vector<std::vector<std::string>> udevApplyCommands();

// The program that runs a command as root for a user who is not: sudo when it is on PATH,
// else pkexec; empty when neither is. `onPath` tells whether a program is on PATH.
std::string chooseElevation(const std::function<bool(const std::string&)>& onPath);
bool programOnPath(const std::string& name);

struct UdevInstallSetup {
    std::string ruleDir = "/etc/udev/rules.d";           // where the rule is written
    std::vector<std::string> readDirs = udevRuleDirs();  // where udev finds rules
    bool root = false;                // this process may write ruleDir and run udevadm itself
    std::string elevation;            // without root: "sudo" or "pkexec"; empty: none available
    std::string scratchDir = "/tmp";  // without root: where the rule waits for the copy
    CommandRunner run = runProgram;
};

enum class UdevInstallStep {
    None,         // the rule is in force and udev applied it
    NoElevation,  // not root, and neither sudo nor pkexec is there
    Write,        // the rule could not be written (or the elevation was refused)
    Reload,       // udev did not reload its rules (no udev running: a container)
    Trigger,      // udev did not replay the events
};

struct UdevInstallResult {
    UdevInstallStep failed = UdevInstallStep::None;
    bool written = false;  // false: the same rule was already in force and stays
    std::string path;      // the rule file in force afterwards (or meant to be)
    std::string detail;    // what failed: the system's reason or the command and its status
    bool ok() const { return failed == UdevInstallStep::None; }
};

// Puts the rule in place as setup.ruleDir/kUdevRuleName unless the same rule is in force
// already, then has udev reload and apply it. As root the file is written here and udevadm
// run directly; otherwise one command through the elevation program copies the rule (from
// a file in scratchDir) and runs udevadm, so that the user is asked once.
UdevInstallResult installUdevRule(const UdevInstallSetup& setup);

}  // namespace devices
