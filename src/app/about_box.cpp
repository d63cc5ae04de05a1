#include "app/about_box.h"

#include <QDesktopServices>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/qt_form.h"
#include "devices/device_uri.h"
#include "form/control_ids.h"

namespace app {

namespace {

constexpr QRgb kLinkText = qRgb(0, 50, 255);
// Extra lines of the box, in dialog units: the version line and the library version.
constexpr form::DialogRect kVersionLineRect{57, 21, 120, 8};
constexpr form::DialogRect kLibraryLineRect{57, 30, 120, 8};

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    const form::DialogSpec& layout = form::aboutBoxLayout();
    setWindowTitle(
        QString::fromUtf8(layout.title.data(), static_cast<qsizetype>(layout.title.size())));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    auto* canvas = new FormCanvas(this);
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(canvas);
    m_form = new QtForm(this, canvas, nullptr, layout, 0);

    QFont boxFont(QStringLiteral("MS Shell Dlg"));
    boxFont.setPointSize(9);
    boxFont.setBold(true);
    for (QWidget* child : canvas->findChildren<QWidget*>()) child->setFont(boxFont);

    const auto place = [](QWidget* w, const form::DialogRect& du) {
        const form::Rect px = form::toPixels(du);
        w->setGeometry(QRect(px.left, px.top, px.width(), px.height()));
    };
    auto* version = new QLabel(QString::fromLatin1(kVersionLine), canvas);
    place(version, kVersionLineRect);
    auto* library = new QLabel(QStringLiteral("hidapi %1").arg(libraryVersion()), canvas);
    place(library, kLibraryLineRect);
    library->setObjectName(QStringLiteral("c%1").arg(form::about::kLabelLibraryVersion));

    // The link: bold underlined Arial 16 px, blue on a transparent background, hand cursor.
    if (auto* link = qobject_cast<QLabel*>(m_form->widget(form::about::kLabelWebLink))) {
        QFont linkFont(QStringLiteral("Arial"));
        linkFont.setPixelSize(16);
        linkFont.setWeight(QFont::Bold);
        linkFont.setUnderline(true);
        linkFont.setStyleHint(QFont::SansSerif);
        link->setFont(linkFont);
        QPalette palette = link->palette();
        palette.setColor(QPalette::WindowText, QColor(kLinkText));
        link->setPalette(palette);
        link->setAutoFillBackground(false);
        link->setCursor(Qt::PointingHandCursor);
        link->installEventFilter(this);
    }
    connect(m_form, &QtForm::commandIssued, this, [this](int id) {
        if (id == form::about::kButtonOk)
            accept();
    });
    if (auto* ok = qobject_cast<QPushButton*>(m_form->widget(form::about::kButtonOk))) {
        ok->setDefault(true);
        ok->setAutoDefault(true);
    }
    const form::Rect whole = form::toPixels({0, 0, layout.widthDu, layout.heightDu});
    setFixedSize(QSize(whole.width(), whole.height()).expandedTo(m_form->contentSize()));
}

QString CAboutDlg::libraryVersion() {
    return QString::fromStdString(devices::hidLibraryVersion());
}

QString CAboutDlg::linkTarget() const {
    auto* link = qobject_cast<QLabel*>(m_form->widget(form::about::kLabelWebLink));
    return link ? link->text() : QString();
}

bool CAboutDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_form->widget(form::about::kLabelWebLink) &&
        event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // The box stays open; a failure to open the browser is not reported.
        QDesktopServices::openUrl(QUrl(linkTarget()));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace app
