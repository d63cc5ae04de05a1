#pragma once
// One running copy per user. The first copy listens on a local socket named after the
// marker and the user; a later start asks it to show its window and ends at once.

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace app {

inline constexpr const char* kInstanceMarker = "vormanlake";

class SingleInstance final : public QObject {
    Q_OBJECT
  public:
    // `name` defaults to the marker followed by the user's name.
    explicit SingleInstance(QString name = QString(), QObject* parent = nullptr);
    // True when this process is the first copy (it now listens); false when another copy
    // runs and has been asked to come to the front.
    bool claim();
    const QString& name() const { return m_name; }

  signals:
    // Another start asked this copy to show itself.
    void showRequested();

  private:
    QString m_name;
    QLocalServer m_server;
};

}  // namespace app
