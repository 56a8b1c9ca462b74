// libFuzzer target for the iCalendar import and export. Besides "never
// crash": every appointment an input gives is written out as an event that
// reads back as one event with the same UID and the same appointment (or is
// counted as an unreadable date and left out), and writing that again gives
// the same bytes apart from the time stamp. Every to-do does the same as a
// task, written anew and from the to-do it was read from.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <QRegularExpression>

#include "sync/EventMap.h"

namespace {
QByteArray withoutStamp(QByteArray bytes)
{
    static const QRegularExpression stamp(QStringLiteral("DTSTAMP:[0-9TZ]+\r\n"));
    return QString::fromUtf8(bytes).remove(stamp).toUtf8();
}

[[noreturn]] void fail(const char* what, const QByteArray& first, const QByteArray& second = {})
{
    std::fprintf(stderr, "fuzz_ical: %s\n--- first\n%s\n--- second\n%s\n", what, first.constData(), second.constData());
    std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const EventMap::Imported& event : EventMap::read(input).events) {
        const EventMap::WriteResult first = EventMap::write({{event.appointment, event.uid, {}, {}, {}}});
        if (first.unreadableDates == 1)
            continue;
        const EventMap::ReadResult again = EventMap::read(first.bytes);
        if (again.events.size() != 1 || again.malformed != 0)
            fail("our event does not read back", first.bytes);
        if (again.events[0].uid != event.uid || again.events[0].appointment != event.appointment)
            fail("the event changed on the way", first.bytes,
                 EventMap::write({{again.events[0].appointment, again.events[0].uid, {}, {}, {}}}).bytes);
        const EventMap::WriteResult second =
            EventMap::write({{again.events[0].appointment, again.events[0].uid, {}, {}, {}}});
        if (withoutStamp(second.bytes) != withoutStamp(first.bytes))
            fail("unstable", first.bytes, second.bytes);
    }
    for (const TaskMap::Imported& task : EventMap::read(input).tasks) {
        const TaskValues values = task.task;
        for (const QByteArray& kept : {QByteArray(), task.object}) {
            const QByteArray bytes =
                EventMap::write({}, {{values, 0, task.uid, task.parentUid, kept, task.base}}).bytes;
            const EventMap::ReadResult again = EventMap::read(bytes);
            if (again.tasks.size() != 1 || again.tasks[0].uid != task.uid || again.tasks[0].task != values
                || again.tasks[0].parentUid != task.parentUid)
                fail("the task changed on the way", task.object, bytes);
        }
    }
    return 0;
}
