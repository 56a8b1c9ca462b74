#include "planner/BusyDays.h"

#include "controls/MonthView.h"
#include "kit/Occurrences.h"
#include "store/Connection.h"
#include "store/StoreError.h"

namespace BusyDays {

void follow(MonthView* calendar, Connection& con, bool now)
{
    QObject::connect(calendar, &QCalendarWidget::currentPageChanged, calendar,
                     [calendar, &con] { show(calendar, con); });
    if (now)
        show(calendar, con);
}

void show(MonthView* calendar, Connection& con)
{
    QSet<QDate> busy;
    // Bold days are a help, not a record: a store that cannot be read now
    // shows none, and the page's own reading says what went wrong.
    if (con.isOpen()) {
        try {
            // The page shows a few days of the months beside it too.
            const QDate first(calendar->yearShown(), calendar->monthShown(), 1);
            busy = Occurrences::busyDays(con, first.addDays(-7), first.addMonths(1).addDays(13));
        } catch (const StoreError&) {
        }
    }
    calendar->setBoldDays(busy);
}

}  // namespace BusyDays
