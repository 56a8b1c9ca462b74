#pragma once

#include <QByteArrayList>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

// A stand-in server on loopback for what a real one will not do on demand:
// refuse at a chosen step, fall silent, or hang up. It greets each
// connection and answers every received line through `answer`; an empty
// answer sends nothing, kHangUp closes the connection.
class ScriptedPeer
{
public:
    static inline const QByteArray kHangUp = QByteArrayLiteral("\x01hang up");

    explicit ScriptedPeer(QByteArray greeting) : m_greeting(std::move(greeting))
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                serve(socket);
        });
    }

    std::function<QByteArray(const QByteArray &line)> answer = [](const QByteArray &) { return QByteArray(); };

    // What a host box holds to reach it.
    QString hostBox() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }
    int connections() const { return m_connections; }
    int hangUps() const { return m_hangUps; }  // connections the client ended
    QByteArrayList lines() const { return m_lines; }

private:
    void serve(QTcpSocket *socket)
    {
        ++m_connections;
        auto *pending = new QByteArray;
        QObject::connect(socket, &QObject::destroyed, [pending] { delete pending; });
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, pending] {
            *pending += socket->readAll();
            qsizetype nl;
            while ((nl = pending->indexOf('\n')) >= 0) {
                const QByteArray line = pending->left(nl + 1);
                pending->remove(0, nl + 1);
                m_lines << line;
                const QByteArray reply = answer(line);
                if (reply == kHangUp) {
                    m_closing << socket;
                    socket->disconnectFromHost();
                    return;
                }
                socket->write(reply);
            }
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
            if (!m_closing.contains(socket))
                ++m_hangUps;
            socket->deleteLater();
        });
        socket->write(m_greeting);
    }

    QTcpServer m_server;
    QByteArray m_greeting;
    int m_connections = 0;
    int m_hangUps = 0;
    QByteArrayList m_lines;
    QList<QPointer<QTcpSocket>> m_closing;
};
