#pragma once
// A transport::ProtocolHost and transport::LinkListener that only record what they are asked to do
// (the host also serves where nothing is to be recorded).

#include <map>
#include <string>
#include <vector>

#include "link/protocol_host.h"

namespace testing_support {

class RecordingHost final : public transport::ProtocolHost {
  public:
    void startTimer(transport::TimerId id, uint32_t periodMs) override {
        m_period[id] = periodMs;
        m_running[id] = true;
        m_log.push_back("start" + std::to_string(id) + "@" + std::to_string(periodMs));
    }
    void stopTimer(transport::TimerId id) override {
        m_running[id] = false;
        m_log.push_back("stop" + std::to_string(id));
    }
    bool isTimerRunning(transport::TimerId id) const override {
        auto it = m_running.find(id);
        return it != m_running.end() && it->second;
    }
    void repaintLamps() override {
        ++m_repaints;
        m_log.push_back("repaint");
    }

    uint32_t period(transport::TimerId id) const {
        auto it = m_period.find(id);
        return it == m_period.end() ? 0 : it->second;
    }
    int repaints() const { return m_repaints; }
    const std::vector<std::string>& log() const { return m_log; }
    void note(const std::string& entry) { m_log.push_back(entry); }
    void clearLog() { m_log.clear(); }

  private:
    std::map<int, uint32_t> m_period;
    std::map<int, bool> m_running;
    int m_repaints = 0;
    std::vector<std::string> m_log;
};

// Plays the controller's part: the three link flags and the timer 0 start on open.
class RecordingListener final : public transport::LinkListener {
  public:
    explicit RecordingListener(RecordingHost& host) : m_host(host) {}
    void onAdapterOpened() override {
        ++opened;
        m_host.note("opened");
        m_host.startTimer(transport::kProtocolTimer, 30);
        adapterLinked = escLinked = settingsLoaded = true;
    }
    void onAdapterRemoved() override {
        ++removed;
        m_host.note("removed");
        adapterLinked = escLinked = settingsLoaded = false;
    }

    int opened = 0;
    int removed = 0;
    bool adapterLinked = false;
    bool escLinked = false;
    bool settingsLoaded = false;

  private:
    RecordingHost& m_host;
};

}  // namespace testing_support
