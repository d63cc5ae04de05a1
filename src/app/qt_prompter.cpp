#include "app/qt_prompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace app {

namespace {

QString patternsForQt(const QString& patterns) {
    QStringList out;
    for (QString p : patterns.split(';', Qt::SkipEmptyParts)) {
        p = p.trimmed();
        out << (p == "*.*" ? QStringLiteral("*") : p);
    }
    return out.join(' ');
}

}  // namespace

QStringList qtNameFilters(const std::string& windowsFilter) {
    const QStringList parts = QString::fromStdString(windowsFilter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty() && parts[i + 1].isEmpty())
            break;  // the closing "||"
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patternsForQt(parts[i + 1]));
    }
    return filters;
}

QString qtDefaultSuffix(const std::string& defaultExtension) {
    QString suffix = QString::fromStdString(defaultExtension);
    if (suffix.startsWith("*."))
        suffix.remove(0, 2);
    if (suffix.startsWith('.'))
        suffix.remove(0, 1);
    return suffix.contains('*') ? QString() : suffix;
}

form::MessageAnswer QtPrompter::showMessage(const std::string& text, form::MessageIcon icon,
                                            form::MessageButtons buttons,
                                            form::MessageAnswer defaultAnswer) {
    QMessageBox box(m_parent);
    box.setWindowTitle(QApplication::applicationDisplayName());
    box.setText(QString::fromStdString(text));
    switch (icon) {
        case form::MessageIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case form::MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case form::MessageIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case form::MessageIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    if (buttons == form::MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(defaultAnswer == form::MessageAnswer::Yes ? QMessageBox::Yes
                                                                       : QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? form::MessageAnswer::Yes : form::MessageAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return form::MessageAnswer::Ok;
}

std::optional<std::string> QtPrompter::runFileDialog(const form::FileDialogRequest& request,
                                                     bool save) {
    QFileDialog dialog(m_parent);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(
        save ? QFileDialog::AnyFile
             : (request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile));
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.promptOverwrite);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setNameFilters(qtNameFilters(request.filter));
    dialog.setDefaultSuffix(qtDefaultSuffix(request.defaultExtension));
    const QString initial = QString::fromStdString(request.initialName);
    // A wildcard as the initial name (as "*.cfg") only preselects what is listed.
    if (!initial.isEmpty() && !initial.contains('*'))
        dialog.selectFile(initial);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> QtPrompter::openFile(const form::FileDialogRequest& request) {
    return runFileDialog(request, false);
}

std::optional<std::string> QtPrompter::saveFile(const form::FileDialogRequest& request) {
    return runFileDialog(request, true);
}

}  // namespace app
