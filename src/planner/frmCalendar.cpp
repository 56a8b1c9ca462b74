#include "planner/frmCalendar.h"

#include <QGuiApplication>
#include <QScreen>

#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/MonthView.h"
#include "controls/Twips.h"
#include "kit/AppFolder.h"
#include "kit/Clock.h"
#include "planner/BusyDays.h"
#include "store/RecordsChanged.h"
#include "store/StoreError.h"

#include <QFileInfo>

namespace {
const QString kExitName = QStringLiteral("Exit");
}  // namespace

frmCalendar::frmCalendar()
{
    setObjectName(QStringLiteral("frmCalendar"));
    setWindowTitle(QStringLiteral("Calendar"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
    setFixedSize(twips(2640), twips(2955));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::WindowText));
    setPalette(palette);
    setAutoFillBackground(true);

    // The calendar's top edge sits above the window, cut off.
    MonthView1 = makeControl<MonthView>(this, "MonthView1", twipsRect(0, -120, 2640, 2310));
    MonthView1->setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);

    cmdExit = makeControl<asxPowerButton>(this, "cmdExit", twipsRect(840, 2280, 735, 615));
    cmdExit->setPicture(QStringLiteral("exit"));
    cmdExit->setIconSize(QSize(32, 32));
    cmdExit->setAccessibleName(kExitName);

    setTabOrder(MonthView1, cmdExit);
    Keys::setCancelButton(this, cmdExit);
    connect(cmdExit, &QToolButton::clicked, this, &frmCalendar::cmdExit_Click);
    connect(&RecordsChanged::instance(), &RecordsChanged::changed, this, [this](const RecordsChange& change) {
        if (change.touches(RecordsChange::Appointments))
            BusyDays::show(MonthView1, Con);
    });
}

void frmCalendar::Form_Load()
{
    MonthView1->setValue(Clock::today());
    // Only to show which days are busy: without the store the calendar is
    // still a calendar, so a failure says nothing, and no file is made here.
    try {
        if (QFileInfo::exists(AppFolder::databaseFile()))
            Con.Open(AppFolder::databaseFile());
    } catch (const StoreError&) {
    }
    BusyDays::follow(MonthView1, Con);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void frmCalendar::Form_Unload()
{
    Con.Close();
}

void frmCalendar::cmdExit_Click()
{
    Screens::unload<frmCalendar>();
}
