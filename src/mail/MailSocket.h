#pragma once

#include "mail/MailAction.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTcpSocket>

#include <functional>

// The screens' half of a mail conversation. The protocol machines only say
// what to do; this carries it out on the screen's socket and message boxes.
namespace MailSocket {

void showNotice(const MailNotice &notice);

// Ends the connection without a word to the screen: a conversation that is
// abandoned (a new one starts, the screen closes) reports nothing afterwards.
void drop(QTcpSocket *socket);

// Sends, closes and shows what the machine answered, in order; the keys of
// a list action go to `list`.
void carryOut(QTcpSocket *socket, const MailActions &actions,
              const std::function<void(const QStringList &)> &list = {});

// Feeds every arrival on `socket` to `session`, then its close and its
// errors, and carries out the answers. The session must outlive the
// socket's connection: drop() the socket before the session goes.
template <class Session>
void attach(QTcpSocket *socket, Session &session, std::function<void(const QStringList &)> list = {})
{
    const auto readAll = [socket] { return socket->isOpen() ? socket->readAll() : QByteArray(); };
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, &session, list, readAll] {
        // While a message box is open inside this handler, the socket holds
        // back further readyRead signals; what arrived meanwhile is taken here.
        while (socket->isOpen() && socket->bytesAvailable() > 0)
            carryOut(socket, session.feed(readAll()), list);
    });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, [socket, &session, list, readAll] {
        carryOut(socket, session.feed(readAll()), list);
        carryOut(socket, session.closed(), list);
    });
    QObject::connect(socket, &QTcpSocket::errorOccurred, socket,
                     [socket, &session, list](QAbstractSocket::SocketError error) {
                         carryOut(socket, session.socketError(error, socket->errorString()), list);
                     });
}

}  // namespace MailSocket
