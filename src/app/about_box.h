#pragma once
// The About box (layout 100): product name, version, the library version and the
// maker's link, which opens in the default browser.

#include <QDialog>
#include <QString>

namespace app {

class QtForm;

inline constexpr const char* kVersionLine = "Tessaro Ver 3.04";

class CAboutDlg final : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    QtForm* form() const { return m_form; }
    // The hidapi version as "major.minor.patch".
    static QString libraryVersion();
    // What a click on the link opens.
    QString linkTarget() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QtForm* m_form;
};

}  // namespace app
