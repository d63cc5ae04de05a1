#pragma once
// Message boxes and file dialogs on Qt. Message boxes carry the application's name as
// their title; file dialogs take the program's Windows-style filter strings.

#include <QString>
#include <QStringList>
#include <QWidget>

#include "form/prompter.h"

namespace app {

// Turns "label|pattern;pattern|label|pattern||" into Qt name filters. Each filter keeps
// its label and lists its own patterns in a trailing "(…)" that the dialog hides, so a
// label that names other patterns than it lists still filters by the listed ones.
// "*.*" becomes "*" (every file, as on Windows).
QStringList qtNameFilters(const std::string& windowsFilter);
// "*.cfg" → "cfg"; "" → "".
QString qtDefaultSuffix(const std::string& defaultExtension);

class QtPrompter final : public form::Prompter {
  public:
    explicit QtPrompter(QWidget* parent) : m_parent(parent) {}

    form::MessageAnswer showMessage(const std::string& text, form::MessageIcon icon,
                                    form::MessageButtons buttons,
                                    form::MessageAnswer defaultAnswer) override;
    std::optional<std::string> openFile(const form::FileDialogRequest& request) override;
    std::optional<std::string> saveFile(const form::FileDialogRequest& request) override;

  private:
    std::optional<std::string> runFileDialog(const form::FileDialogRequest& request, bool save);
    QWidget* m_parent;
};

}  // namespace app
