#pragma once
// A Prompter that answers every box with its default and remembers the texts shown.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "form/prompter.h"

namespace testing_support {

class RecordingPrompter final : public form::Prompter {
  public:
    form::MessageAnswer showMessage(const std::string& text, form::MessageIcon icon,
                                    form::MessageButtons buttons,
                                    form::MessageAnswer defaultAnswer) override {
        m_messages.push_back(text);
        m_icons.push_back(icon);
        if (m_onMessage)
            m_onMessage();
        if (buttons == form::MessageButtons::YesNo && m_yesNoAnswer)
            return *m_yesNoAnswer;
        return defaultAnswer;
    }
    std::optional<std::string> openFile(const form::FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<std::string> saveFile(const form::FileDialogRequest&) override {
        return std::nullopt;
    }

    // How Yes/No questions are answered from now on (unset: with their default).
    void answerYesNo(form::MessageAnswer answer) { m_yesNoAnswer = answer; }
    // Runs while a box is "open" (before it returns).
    void setOnMessage(std::function<void()> action) { m_onMessage = std::move(action); }
    const std::vector<std::string>& messages() const { return m_messages; }
    const std::vector<form::MessageIcon>& icons() const { return m_icons; }
    void clear() {
        m_messages.clear();
        m_icons.clear();
    }

  private:
    std::vector<std::string> m_messages;
    std::vector<form::MessageIcon> m_icons;
    std::function<void()> m_onMessage;
    std::optional<form::MessageAnswer> m_yesNoAnswer;
};

}  // namespace testing_support
