#pragma once
// A system with hidraw nodes for the hidraw survey: sysfs entries, node paths, the errors
// their opens give, and processes holding them, all in a scratch folder.

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "devices/linux/hidraw_survey.h"
#include "support/scratch_dir.h"

namespace testing_support {

// The process id the fake system takes for this program's own.
inline constexpr int kFakeOwnPid = 1000;

// A system with hidraw nodes: sysfs entries, node paths, the errors their opens give, and
// processes holding them.
class FakeHidrawSystem {
  public:
    FakeHidrawSystem() {
        m_system.classDir = m_root.path() + "/sys/class/hidraw";
        m_system.devDir = m_root.path() + "/dev";
        m_system.procDir = m_root.path() + "/proc";
        m_system.ownPid = kFakeOwnPid;
        m_system.tryOpen = [this](const std::string& path) {
            const auto error = m_openErrors.find(path);
            return error == m_openErrors.end() ? ENOENT : error->second;
        };
        std::filesystem::create_directories(m_system.classDir);
        std::filesystem::create_directories(m_system.procDir);
    }
    void node(const std::string& name, const std::string& hidId, const std::string& serial,
              int openError) {
        const std::filesystem::path device =
            std::filesystem::path(m_system.classDir) / name / "device";
        std::filesystem::create_directories(device);
        std::ofstream(device / "uevent") << "DRIVER=hid-generic\nHID_ID=" << hidId
                                         << "\nHID_NAME=Link Adapter\nHID_PHYS=usb-1/input0\n"
                                         << "HID_UNIQ=" << serial << "\nMODALIAS=hid:b0003\n";
        m_openErrors[nodePath(name)] = openError;
    }
    void holder(int pid, const std::string& comm, const std::string& name) {
        const std::filesystem::path process =
            std::filesystem::path(m_system.procDir) / std::to_string(pid);
        std::filesystem::create_directories(process / "fd");
        std::ofstream(process / "comm") << comm << "\n";
        std::filesystem::create_symlink(nodePath(name), process / "fd" / "7");
    }
    std::string nodePath(const std::string& name) const { return m_system.devDir + "/" + name; }
    const transport::HidrawSystem& system() const { return m_system; }

  private:
    testing_support::ScratchDir m_root;
    transport::HidrawSystem m_system;
    std::map<std::string, int> m_openErrors;
};

}  // namespace testing_support
