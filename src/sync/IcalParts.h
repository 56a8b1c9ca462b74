#pragma once

#include <libical/ical.h>

#include <QByteArray>

#include "sync/EventMap.h"

// What the event and the to-do maps share of reading and writing iCalendar.
namespace EventMap {
// What libical makes of a file's or a server's text (zones too large to work out repaired).
icalcomponent* parsed(const QByteArray& bytes, ReadResult* said = nullptr);
// One VCALENDAR of the component and the VTIMEZONEs of `cal` it names.
QByteArray keptObject(icalcomponent* cal, icalcomponent* component);
// `replacement` where `old` stood, the properties after it kept in their order.
void replaceInPlace(icalcomponent* component, icalproperty* old, icalproperty* replacement);
}  // namespace EventMap
