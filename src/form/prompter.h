#pragma once
// The modal questions the program asks: message boxes and file dialogs. The window
// answers them with QMessageBox and QFileDialog; tests and the CLI with scripted or
// fixed answers, so nothing has to drive a dialog.

#include <optional>
#include <string>

namespace form {

enum class MessageIcon { None, Warning, Information, Question };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

struct FileDialogRequest {
    // Windows-style filter string: "label|pattern;pattern|label|pattern||".
    std::string filter;
    std::string initialName;
    std::string defaultExtension;  // without the dot; empty for none
    bool promptOverwrite = false;  // save dialogs only
    bool mustExist = true;         // open dialogs only
};

class Prompter {
  public:
    virtual ~Prompter() = default;
    // A modal message box titled with the application's name.
    virtual MessageAnswer showMessage(const std::string& text, MessageIcon icon,
                                      MessageButtons buttons,
                                      MessageAnswer defaultAnswer = MessageAnswer::Ok) = 0;
    // The chosen file's path, or nothing when the user cancelled.
    virtual std::optional<std::string> openFile(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> saveFile(const FileDialogRequest& request) = 0;
};

}  // namespace form
