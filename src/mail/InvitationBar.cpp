#include "mail/InvitationBar.h"

#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "controls/Controls.h"
#include "controls/Twips.h"
#include "kit/Clock.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"
#include "mail/InvitationMail.h"
#include "mail/MailCompose.h"
#include "store/StoreError.h"

using Invitation::Answer;
using Invitation::Effect;

InvitationBar::InvitationBar(QWidget* screen, const QList<QWidget*>& bodies)
    : QFrame(screen)
    , m_bodies(bodies)
{
    setObjectName(QStringLiteral("frmInvitation"));
    setAccessibleName(QStringLiteral("Invitation"));
    txtInvitation = makeControl<QPlainTextEdit>(this, "txtInvitation", twipsRect(0, 0, 7095, 1080));
    txtInvitation->setReadOnly(true);
    txtInvitation->setAccessibleName(QStringLiteral("Invitation"));
    cmdAccept = makeCommandButton(this, "cmdAccept", QStringLiteral("&Accept"), twipsRect(0, 1125, 1050, 330));
    cmdTentative =
        makeCommandButton(this, "cmdTentative", QStringLiteral("Te&ntative"), twipsRect(1110, 1125, 1050, 330));
    cmdDecline = makeCommandButton(this, "cmdDecline", QStringLiteral("&Decline"), twipsRect(2220, 1125, 1050, 330));
    cmdRemove =
        makeCommandButton(this, "cmdRemove", QStringLiteral("&Remove from Planner"), twipsRect(0, 1125, 2160, 330));
    txtComment = makeTextBox(this, "txtComment", twipsRect(3330, 1125, 3765, 330));
    txtComment->setPlaceholderText(QStringLiteral("Comment to the organizer (optional)"));
    txtComment->setAccessibleName(QStringLiteral("Comment to the organizer"));
    connect(cmdAccept, &QPushButton::clicked, this, [this] { answer(Answer::Accepted); });
    connect(cmdTentative, &QPushButton::clicked, this, [this] { answer(Answer::Tentative); });
    connect(cmdDecline, &QPushButton::clicked, this, [this] { answer(Answer::Declined); });
    connect(cmdRemove, &QPushButton::clicked, this, &InvitationBar::cmdRemove_Click);

    m_mail = new InvitationMail(screen, this);
    connect(m_mail, &InvitationMail::sent, this, &InvitationBar::replied);
    // An answer on its way goes on when another message is shown; the bar says how it went only while it shows its
    // meeting.
    connect(this, &InvitationBar::replied, this, [this](bool sent) {
        if (!isHidden() && m_invite.uid == m_answered)
            txtInvitation->appendPlainText(sent
                                               ? QStringLiteral("\nYour answer was sent to %1.").arg(m_invite.organizer)
                                               : QStringLiteral("\nYour answer was not sent."));
    });
    for (QWidget* body : bodies)
        body->installEventFilter(this);
    hide();
}

bool InvitationBar::eventFilter(QObject* watched, QEvent* event)
{
    if (m_bodies.contains(watched) && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        place();
    return QFrame::eventFilter(watched, event);
}

// Over the gap above the message, as wide as it.
void InvitationBar::place()
{
    const QRect body = m_bodies.first()->geometry();
    setGeometry(body.x(), body.y() - twips(kTwips), body.width(), twips(kTwips) - twips(45));
    txtInvitation->resize(width(), txtInvitation->height());
    txtComment->resize(width() - txtComment->x(), txtComment->height());
}

void InvitationBar::setButtons(bool answers, bool remove)
{
    for (QWidget* w : {static_cast<QWidget*>(cmdAccept), static_cast<QWidget*>(cmdTentative),
                       static_cast<QWidget*>(cmdDecline), static_cast<QWidget*>(txtComment)}) {
        w->setVisible(answers);
        w->setEnabled(true);
    }
    cmdRemove->setVisible(remove);
}

bool InvitationBar::showFor(const QByteArray& calendar, const MailSettings& settings, Connection& con)
{
    m_stored.reset();
    m_invite = {};
    txtComment->clear();
    if (calendar.isEmpty()) {
        hide();
        return true;
    }
    m_settings = settings;
    const QString me = bareAddress(settings.yourEmail);
    m_invite = Invitation::read(calendar, {me});
    setButtons(false, false);
    place();
    show();
    if (!m_invite.reason.isEmpty()) {
        txtInvitation->setPlainText(
            QStringLiteral("The calendar part of this message is not taken as an invitation. %1").arg(m_invite.reason));
        return false;
    }
    const Invitation::Planner& planner = Invitation::planner();
    if (planner.stored)
        m_stored = planner.stored(m_invite.uid);
    std::optional<Invitation::Invite> stored;
    if (m_stored && !m_stored->object.isEmpty())
        stored = Invitation::read(m_stored->object, {});
    const Invitation::Decision decision = Invitation::decide(m_invite, stored);

    QStringList lines;
    switch (decision.effect) {
    case Effect::Reply: {
        const Invitation::Attendee who = m_invite.attendees.value(0);
        const QString said = who.partstat == QLatin1String("ACCEPTED")    ? QStringLiteral("accepted")
                             : who.partstat == QLatin1String("TENTATIVE") ? QStringLiteral("tentatively accepted")
                             : who.partstat == QLatin1String("DECLINED")  ? QStringLiteral("declined")
                                                                          : QStringLiteral("not yet answered");
        lines << QStringLiteral("%1 has %2 your invitation.").arg(who.name.isEmpty() ? who.address : who.name, said);
        lines << intoPlanner();
        break;
    }
    case Effect::Cancel:
        lines << QStringLiteral("The organizer has called this meeting off.");
        setButtons(false, true);
        break;
    case Effect::CancelUnknown:
        lines << QStringLiteral("The organizer has called this meeting off. It is not in your planner.");
        break;
    case Effect::Outdated:
        lines << QStringLiteral("Your planner holds a newer version of this meeting; this one changes nothing.");
        break;
    case Effect::Update:
    case Effect::Occurrence:
        // The same version again (sent twice, or answered before) says so; an answer may still change.
        lines << (decision.changes.isEmpty() ? QStringLiteral("Your planner already holds this meeting as it is here.")
                                             : QStringLiteral("An update of a meeting in your planner."))
              << decision.changes;
        setButtons(true, false);
        break;
    case Effect::New:
        setButtons(true, false);
        break;
    }
    lines << Invitation::describe(m_invite, me);
    if (decision.effect == Effect::New || decision.effect == Effect::Update || decision.effect == Effect::Occurrence) {
        const QDateTime from = m_invite.start.toLocalTime();
        const QDateTime to = m_invite.finish.isValid() ? m_invite.finish.toLocalTime() : from;
        QList<Occurrences::Entry> entries;
        storeGuard([&] { entries = Occurrences::between(con, from.date(), std::max(from.date(), to.date())); });
        const QStringList clashes = Invitation::clashes(m_invite, entries, m_stored ? m_stored->row : 0);
        lines << (clashes.isEmpty() ? QStringLiteral("It does not clash with your planner.")
                                    : QStringLiteral("It clashes with: %1.").arg(clashes.join(QLatin1String("; "))));
    }
    txtInvitation->setPlainText(lines.join(QLatin1Char('\n')));
    return true;
}

// An answer to one of our meetings is kept with it as soon as it is read;
// reading it again changes nothing more.
QString InvitationBar::intoPlanner()
{
    const Invitation::Planner& planner = Invitation::planner();
    if (!m_stored || m_stored->object.isEmpty() || !planner.keep)
        return QStringLiteral("The meeting is not in your planner, so the answer is kept nowhere.");
    QString reason;
    const QByteArray event = Invitation::withReply(m_stored->object, m_invite, &reason);
    if (event.isEmpty())
        return reason;
    const QString failure = planner.keep(m_invite.uid, event);
    return failure.isEmpty() ? QStringLiteral("Your planner shows the answer: %1.").arg(Invitation::answers(event))
                             : failure;
}

void InvitationBar::answer(Answer answer)
{
    const Invitation::Planner& planner = Invitation::planner();
    const QString me = bareAddress(m_settings.yourEmail);
    QString failure;
    if (answer != Answer::Declined && planner.take)
        failure = planner.take(Invitation::answered(m_invite, me, answer), m_invite.uid, answer == Answer::Tentative);
    // Declining a whole meeting takes it out of the planner; one occurrence declined is left out of its series.
    else if (answer == Answer::Declined && m_stored && m_invite.recurrenceId.isEmpty() && planner.remove)
        failure = planner.remove(m_invite.uid);
    else if (answer == Answer::Declined && m_stored && !m_stored->object.isEmpty() && planner.take)
        failure =
            planner.take(Invitation::withoutOccurrence(m_stored->object, m_invite.recurrenceId), m_invite.uid, false);
    if (!failure.isEmpty()) {
        MsgBox(failure, MsgButtons::OKOnly, MsgIcon::Exclamation);
        return;
    }
    setButtons(false, false);
    m_answered = m_invite.uid;
    SmtpMessage message;
    message.recipients = m_invite.organizer;
    message.subject = Invitation::replySubject(m_invite, answer);
    message.text = Invitation::replyText(m_invite, me, answer, txtComment->text());
    message.calendar = Invitation::reply(m_invite, me, answer, txtComment->text(), Clock::now());
    message.calendarMethod = "REPLY";
    m_mail->send(message, m_settings);
}

void InvitationBar::cmdRemove_Click()
{
    const QString title = m_invite.summary.isEmpty() ? QStringLiteral("this meeting") : m_invite.summary;
    if (MsgBox(QStringLiteral("Remove \"%1\" from your planner?").arg(title), MsgButtons::YesNo, MsgIcon::Question)
        != MsgResult::Yes)
        return;
    const Invitation::Planner& planner = Invitation::planner();
    const QString failure = planner.remove ? planner.remove(m_invite.uid) : QString();
    if (!failure.isEmpty()) {
        MsgBox(failure, MsgButtons::OKOnly, MsgIcon::Exclamation);
        return;
    }
    setButtons(false, false);
    txtInvitation->appendPlainText(QStringLiteral("\nIt was removed from your planner."));
}
