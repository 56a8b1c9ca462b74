#pragma once

#include <QByteArrayList>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

// A stand-in server on loopback for what a real one will not do on demand:
// refuse at a chosen step or fall silent. It greets each connection and
// answers every received line through `answer`; an empty answer sends
// nothing. hangUps() counts connections the client ended, as this side saw.
class ScriptedPeer {
public:
    explicit ScriptedPeer(QByteArray greeting)
        : m_greeting(std::move(greeting))
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                serve(socket);
        });
    }

    std::function<QByteArray(const QByteArray& line)> answer = [](const QByteArray&) { return QByteArray(); };
    QByteArray hangUpAfter;  // a line starting so is answered, then the peer hangs up

    QString hostBox() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }
    int connections() const { return m_connections; }
    int hangUps() const { return m_hangUps; }
    QByteArrayList lines() const { return m_lines; }

private:
    void serve(QTcpSocket* socket)
    {
        ++m_connections;
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            while (socket->canReadLine()) {
                m_lines << socket->readLine();
                socket->write(answer(m_lines.last()));
                if (!hangUpAfter.isEmpty() && m_lines.last().startsWith(hangUpAfter))
                    socket->disconnectFromHost();
            }
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
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
};
