#include "app/single_instance.h"

#include <unistd.h>

#include <QLocalSocket>
#include <QtGlobal>

namespace app {

namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr char kShowRequest[] = "show\n";

QString defaultInstanceName() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = QString::number(getuid());
    return QStringLiteral("%1-%2").arg(QLatin1String(kInstanceMarker), user);
}

}  // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), m_name(name.isEmpty() ? defaultInstanceName() : std::move(name)) {
    m_server.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server.nextPendingConnection()) {
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (peer->readAll().startsWith("show"))
                    emit showRequested();
                peer->disconnectFromServer();
            });
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        }
    });
}

bool SingleInstance::claim() {
    if (m_server.listen(m_name))
        return true;
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(m_name);
    if (socket.waitForConnected(kConnectTimeoutMs)) {
        socket.write(kShowRequest);
        socket.waitForBytesWritten(kConnectTimeoutMs);
        return false;
    }
    // The name is taken but nobody answers: run rather than refuse to start at all.
    return true;
}

}  // namespace app
