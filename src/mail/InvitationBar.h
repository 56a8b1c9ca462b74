#pragma once

#include <optional>

#include <QFrame>

#include "kit/Invitation.h"
#include "kit/MailSettings.h"

class Connection;
class InvitationMail;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The bar above a message that carries a meeting invitation (a text/calendar
// part): what the meeting is, whether it clashes with the planner, and what
// it would change there; Accept, Tentative and Decline store the answer in
// the planner and send it to the organizer through the account's SMTP
// server, with the comment typed beside them. A called-off meeting is removed
// after asking. Nothing goes to the planner or the server without a click;
// a calendar part that is no invitation for this user says why, with no
// buttons. It places itself over the gap its screen leaves above `body`.
class InvitationBar : public QFrame {
    Q_OBJECT
public:
    // The height the screen leaves for the bar above the message, in twips.
    static constexpr int kTwips = 1500;

    // `bodies`: the message's views, one above the other; the first is measured.
    InvitationBar(QWidget* screen, const QList<QWidget*>& bodies);
    // Shown for a message's calendar part; hidden when there is none. The
    // settings name the user (yourEmail) and the server the answer goes to.
    // False when there is a calendar part that is no invitation to take.
    bool showFor(const QByteArray& calendar, const MailSettings& settings, Connection& con);
    void answer(Invitation::Answer answer);
    void cmdRemove_Click();

    QPlainTextEdit* txtInvitation;
    QPushButton *cmdAccept, *cmdTentative, *cmdDecline, *cmdRemove;
    QLineEdit* txtComment;

signals:
    // The answer went out (true) or the server did not take it.
    void replied(bool sent);

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void place();
    void setButtons(bool answers, bool remove);
    QString intoPlanner();

    QList<QWidget*> m_bodies;
    MailSettings m_settings;
    Invitation::Invite m_invite;
    QString m_answered;  // the UID of the meeting whose answer went out last
    std::optional<Invitation::Stored> m_stored;
    InvitationMail* m_mail;
};
