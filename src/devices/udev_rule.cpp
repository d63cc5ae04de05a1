#include "devices/udev_rule.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "common/atomic_file.h"
#include "devices/adapter_diagnosis.h"

extern char** environ;

namespace devices {

namespace {

namespace fs = std::filesystem;

// What the rule file holds: a comment that says what it is for, and the rule.
std::string ruleFileContents() {
    return std::string(
               "# The Tessaro link adapter: the logged-in user may open its hidraw node.\n") +
           kUdevRule + "\n";
}

std::string trimmed(const std::string& line) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    const auto last = line.find_last_not_of(" \t\r");
    return line.substr(first, last - first + 1);
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The rule lines of a file (no comments, no blank lines), and whether it was readable.
bool ruleLines(const std::string& path, std::vector<std::string>& lines, std::string& whole) {
    std::ifstream file(path);
    if (!file)
        return false;
    for (std::string line; std::getline(file, line);) {
        whole += line + "\n";
        const std::string rule = trimmed(line);
        if (!rule.empty() && rule[0] != '#')
            lines.push_back(rule);
    }
    return true;
}

std::string joined(const std::vector<std::string>& argv) {
    std::string text;
    for (const std::string& word : argv) text += (text.empty() ? "" : " ") + word;
    return text;
}

std::string statusText(int status) {
    return status < 0 ? std::string("could not be started")
                      : "exit status " + std::to_string(status);
}

}  // namespace

std::vector<std::string> udevRuleDirs() {
    return {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/local/lib/udev/rules.d",
            "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
}

bool UdevRuleStatus::installed() const {
    return std::any_of(files.begin(), files.end(), [](const UdevRuleFile& file) {
        return file.same && !file.hidden && !file.tooLate;
    });
}

UdevRuleStatus checkUdevRule(const std::vector<std::string>& dirs) {
    UdevRuleStatus status;
    std::set<std::string> seenDirs;            // /lib is /usr/lib on most systems
    std::map<std::string, std::string> owner;  // file name -> the file in force
    for (const std::string& dir : dirs) {
        std::error_code ec;
        const fs::path canonical = fs::canonical(dir, ec);
        if (ec || !seenDirs.insert(canonical.string()).second)
            continue;
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir, ec)) {
            const std::string name = entry.path().filename().string();
            if (entry.path().extension() == ".rules")
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            const std::string path = dir + "/" + name;
            const auto [first, fresh] = owner.emplace(name, path);
            std::vector<std::string> lines;
            std::string whole;
            if (!ruleLines(path, lines, whole))
                continue;
            const std::string text = lowered(whole);
            const bool concerns =
                name == kUdevRuleName ||
                (text.find("10c4") != std::string::npos && text.find("8468") != std::string::npos);
            if (!concerns)
                continue;
            UdevRuleFile file;
            file.path = path;
            file.same = lines.size() == 1 && lines[0] == kUdevRule;
            file.hidden = !fresh;
            if (file.hidden)
                file.hiddenBy = first->second;
            file.tooLate = name >= std::string(kUdevSeatLateName);
            file.firstRule = lines.empty() ? std::string() : lines[0];
            status.files.push_back(file);
        }
    }
    return status;
}

int runProgram(const std::vector<std::string>& argv) {
    if (argv.empty())
        return -1;
    std::vector<char*> args;
    for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

std::vector<std::vector<std::string>> udevApplyCommands() {
    return {{"udevadm", "control", "--reload"},
            {"udevadm", "trigger", "--subsystem-match=hidraw", "--action=change"},
            {"udevadm", "trigger", "--subsystem-match=usb", "--attr-match=idVendor=10c4",
             "--attr-match=idProduct=8468", "--action=change"}};
}

bool programOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string dir = dirs.substr(start, end - start);
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

std::string chooseElevation(const std::function<bool(const std::string&)>& onPath) {
    for (const char* program : {"sudo", "pkexec"}) {
        if (onPath(program))
            return program;
    }
    return "";
}

UdevInstallResult installUdevRule(const UdevInstallSetup& setup) {
    UdevInstallResult result;
    result.path = setup.ruleDir + "/" + kUdevRuleName;
    const UdevRuleStatus status = checkUdevRule(setup.readDirs);
    for (const UdevRuleFile& file : status.files) {
        if (file.same && !file.hidden && !file.tooLate)
            result.path = file.path;
    }
    const bool needsWrite = !status.installed();
    const auto commands = udevApplyCommands();

    if (setup.root) {
        if (needsWrite) {
            std::error_code ec;
            fs::create_directories(setup.ruleDir, ec);
            const common::AtomicWriteResult written =
                common::replaceFile(result.path, ruleFileContents());
            if (!written) {
                result.failed = UdevInstallStep::Write;
                result.detail = written.message;
                return result;
            }
            ::chmod(result.path.c_str(), 0644);
            result.written = true;
        }
        for (size_t i = 0; i < commands.size(); ++i) {
            const int code = setup.run(commands[i]);
            if (code != 0) {
                result.failed = i == 0 ? UdevInstallStep::Reload : UdevInstallStep::Trigger;
                result.detail = joined(commands[i]) + ": " + statusText(code);
                return result;
            }
        }
        return result;
    }

    if (setup.elevation.empty()) {
        result.failed = UdevInstallStep::NoElevation;
        return result;
    }
    // One command as root: copy the rule, reload, replay; its exit status says which failed.
    std::string script;
    std::string staged;
    if (needsWrite) {
        staged = setup.scratchDir + "/tessaro-udev-XXXXXX";
        const int fd = ::mkstemp(staged.data());
        if (fd < 0) {
            result.failed = UdevInstallStep::Write;
            result.detail = staged + ": " + std::strerror(errno);
            return result;
        }
        const int error = common::writeAll(fd, ruleFileContents());
        ::close(fd);
        if (error != 0) {
            ::unlink(staged.c_str());
            result.failed = UdevInstallStep::Write;
            result.detail = staged + ": " + std::strerror(error);
            return result;
        }
        script = "install -D -m 0644 \"$1\" \"$2\" || exit 10; ";
    }
    script += joined(commands[0]) + " || exit 11; " + joined(commands[1]) + " || exit 12; " +
              joined(commands[2]) + " || exit 12";
    const std::vector<std::string> argv = {
        setup.elevation, "sh", "-c", script, "tessaro-udev", staged.empty() ? "-" : staged,
        result.path};
    const int code = setup.run(argv);
    if (!staged.empty())
        ::unlink(staged.c_str());
    if (code == 11) {
        result.failed = UdevInstallStep::Reload;
        result.detail = joined(commands[0]) + ": " + statusText(1);
    } else if (code == 12) {
        result.failed = UdevInstallStep::Trigger;
        result.detail = "udevadm trigger: " + statusText(1);
    } else if (code != 0) {
        result.failed = UdevInstallStep::Write;
        result.detail = setup.elevation + ": " + statusText(code);
    }
    result.written = needsWrite && (code == 0 || code == 11 || code == 12);
    return result;
}

}  // namespace devices
