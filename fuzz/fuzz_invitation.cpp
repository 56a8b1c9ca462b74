// libFuzzer target for meeting invitations received by mail. Besides "never
// crash": the answer to every invitation the reader takes is a REPLY that
// reads back with the invitation's UID, SEQUENCE and occurrence and the
// answer given, and the invitation as the planner keeps it keeps its UID;
// an answer to the event itself is kept or refused with a reason, and the
// event invited from the planner goes out as a REQUEST of the same UID.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "kit/Invitation.h"

namespace {
[[noreturn]] void fail(const char* what, const QByteArray& bytes)
{
    std::fprintf(stderr, "fuzz_invitation: %s\n%s\n", what, bytes.constData());
    std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace Invitation;
    const QString me = QStringLiteral("bob@example.org");
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const Invite in = read(input, {me});
    (void)describe(in, me);
    (void)clashes(in, {});
    (void)addressesIn(QString::fromUtf8(input));
    if (!in.recurrenceId.isEmpty())
        (void)withoutOccurrence(input, in.recurrenceId);
    const QByteArray sent = invited(input, me, {QStringLiteral("carl@example.com")});
    if (!sent.isEmpty()) {
        const Invite request = read(message(sent, QStringLiteral("REQUEST"), QDateTime::fromSecsSinceEpoch(0)), {});
        if (request.method != QLatin1String("REQUEST") || request.uid != in.uid || request.attendees.isEmpty())
            fail("the invitation sent does not read back", sent);
        (void)answers(sent);
    }
    if (in.reason.isEmpty() && in.method == QLatin1String("REPLY")) {
        QString why;
        if (withReply(input, in, &why).isEmpty() == why.isEmpty())
            fail("an answer is neither kept nor refused with a reason", input);
    }
    if (!in.reason.isEmpty() || in.method != QLatin1String("REQUEST"))
        return 0;
    const QByteArray answer = reply(in, me, Answer::Declined, QStringLiteral("No"), QDateTime::fromSecsSinceEpoch(0));
    const Invite back = read(answer, {});
    if (back.method != QLatin1String("REPLY") || back.uid != in.uid || back.sequence != in.sequence
        || back.recurrenceId != in.recurrenceId || back.attendees.size() != 1
        || back.attendees[0].partstat != QLatin1String("DECLINED"))
        fail("the reply does not read back", answer);
    const QByteArray kept = answered(in, me, Answer::Tentative);
    if (read(kept, {}).uid != in.uid)
        fail("the kept invitation lost its UID", kept);
    return 0;
}
