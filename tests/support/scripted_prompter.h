#pragma once
// A Prompter for tests: answers from a script and records every question.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "form/prompter.h"

namespace testing_support {

class ScriptedPrompter final : public form::Prompter {
  public:
    struct Message {
        std::string text;
        form::MessageIcon icon;
        form::MessageButtons buttons;
    };

    std::vector<Message> messages;
    std::vector<form::FileDialogRequest> openRequests;
    std::vector<form::FileDialogRequest> saveRequests;
    // Next answers; an empty queue answers Cancel / the default button.
    std::deque<std::optional<std::string>> fileAnswers;
    std::deque<form::MessageAnswer> messageAnswers;

    form::MessageAnswer showMessage(const std::string& text, form::MessageIcon icon,
                                    form::MessageButtons buttons,
                                    form::MessageAnswer defaultAnswer) override {
        messages.push_back({text, icon, buttons});
        if (messageAnswers.empty())
            return defaultAnswer;
        const form::MessageAnswer answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }
    std::optional<std::string> openFile(const form::FileDialogRequest& request) override {
        openRequests.push_back(request);
        return nextFile();
    }
    std::optional<std::string> saveFile(const form::FileDialogRequest& request) override {
        saveRequests.push_back(request);
        return nextFile();
    }

  private:
    std::optional<std::string> nextFile() {
        if (fileAnswers.empty())
            return std::nullopt;
        auto answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }
};

}  // namespace testing_support
