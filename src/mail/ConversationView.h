#pragma once

#include "mail/MailStore.h"

#include <QStandardItemModel>
#include <QTreeView>

// The kept messages as conversations (Conversations), newest first: a
// conversation of several messages is a row with its newest subject, their
// count and its newest date, and opens (Enter, Right, a click on its sign)
// to its messages, each answer below what it answers; Left closes it. A
// conversation of one message is that message's row. Moving onto a
// message, by the keyboard or a click, chooses it.
class ConversationView : public QTreeView {
    Q_OBJECT
public:
    explicit ConversationView(QWidget* parent = nullptr);

    // The conversations that hold any of `listed` (the folder chosen), with
    // the messages of `beside` (the other folder) that belong to them. The
    // conversations open and the message chosen stay so.
    void show(const QList<KeptMessage>& listed, const QList<KeptMessage>& beside);
    // The messages selected; a conversation selected stands for all of its own.
    QStringList selectedKeys() const;
    // Its conversation opened and the message chosen; false when it is not listed.
    bool choose(const QString& key);
    bool contains(const QString& key) const;

signals:
    void messageChosen(const QString& key);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QStandardItemModel m_rows;
    bool m_quiet = false;  // while the rows are made again: the message chosen stays as it is shown
};
