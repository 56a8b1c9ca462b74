#include "planner/frmOrganizerSearch.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include "controls/Anchors.h"
#include "controls/Controls.h"
#include "controls/ListView.h"
#include "controls/MonthView.h"
#include "controls/Twips.h"
#include "kit/Clock.h"
#include "kit/MsgBox.h"
#include "kit/Occurrences.h"
#include "kit/StoreAccess.h"
#include "planner/BusyDays.h"
#include "planner/DayLayout.h"
#include "store/Connection.h"
#include "store/Statement.h"

namespace {
const QString kCaption = QStringLiteral("Organizer Search");
const QString kFrameCaption = QStringLiteral("search By");
const QString kNotFound = QStringLiteral(" Not Found");
const QString kNotFoundTitle = QStringLiteral("Not Found");
// A repeating appointment's occurrence on the day searched names its series.
const QString kOccurrenceNote = QStringLiteral("%1 (repeats from %2)");

// The position in this list is the number of months added to today.
const QStringList kMonths = {
    QStringLiteral("January"),   QStringLiteral("Febuary"), QStringLiteral("March"),    QStringLiteral("April"),
    QStringLiteral("May"),       QStringLiteral("June"),    QStringLiteral("July"),     QStringLiteral("August"),
    QStringLiteral("September"), QStringLiteral("October"), QStringLiteral("November"), QStringLiteral("December"),
};

const QString kFieldDate = QStringLiteral("DateValue");
const QString kFieldStart = QStringLiteral("TimeStart");
const QString kFieldFinished = QStringLiteral("TimeFinished");

// A list view column added without a width of its own.
constexpr int kDefaultColumnWidth = 1440;
// The calendar moves here when a mode button shows it.
constexpr int kCalendarLeft = 1200;
// What a screen reader calls the picture that runs a search.
const QString kSearchName = QStringLiteral("Search %1");
const QString kResultsName = QStringLiteral("Search results");

// A 32 x 32 picture that runs its search when clicked.
QToolButton* picture(QWidget* parent, const char* name, const QRect& rect)
{
    auto* image = makeControl<QToolButton>(parent, name, rect);
    image->setAutoRaise(true);
    image->setIcon(QIcon(QStringLiteral(":/icons/search.svg")));
    image->setIconSize(QSize(28, 28));
    image->setCursor(Qt::PointingHandCursor);
    return image;
}

void showOnly(std::initializer_list<QWidget*> shown, std::initializer_list<QWidget*> hidden)
{
    for (QWidget* w : hidden)
        w->hide();
    for (QWidget* w : shown)
        w->show();
}
}  // namespace

frmOrganizerSearch::frmOrganizerSearch()
{
    setObjectName(QStringLiteral("frmOrganizerSearch"));
    setWindowTitle(kCaption);
    resize(twips(7875), twips(7335));

    Frame1 = makeControl<QGroupBox>(this, "Frame1", twipsRect(0, 0, 7815, 2655), kFrameCaption);

    cmdFinished =
        makeCommandButton(Frame1, "cmdFinished", QStringLiteral("Finish Time"), twipsRect(120, 360, 975, 255));
    txtFinishTime = makeTextBox(Frame1, "txtFinishTime", twipsRect(1200, 360, 2055, 285));
    imgFinishTime = picture(Frame1, "imgFinishTime", twipsRect(3480, 240, 480, 480));
    cmdDate = makeCommandButton(Frame1, "cmdDate", QStringLiteral("Date"), twipsRect(120, 840, 975, 255));
    txtDate = makeTextBox(Frame1, "txtDate", twipsRect(1200, 840, 2055, 285));
    imgDate = picture(Frame1, "imgDate", twipsRect(3480, 720, 480, 480));
    cmdStart = makeCommandButton(Frame1, "cmdStart", QStringLiteral("Start Time"), twipsRect(120, 1440, 975, 255));
    txtStartTime = makeTextBox(Frame1, "txtStartTime", twipsRect(1200, 1440, 2055, 285));
    imgStartTime = picture(Frame1, "imgStartTime", twipsRect(3480, 1320, 480, 480));
    cmdCalendar = makeCommandButton(Frame1, "cmdCalendar", QStringLiteral("Calendar"), twipsRect(120, 2040, 975, 255));
    cmdQuickSearchMonth = makeCommandButton(Frame1, "cmdQuickSearchMonth", QStringLiteral("Quick Search Month"),
                                            twipsRect(4200, 240, 1695, 255));

    lstQuickMonth = makeControl<QListWidget>(Frame1, "lstQuickMonth", twipsRect(4200, 600, 3255, 1815));

    // Over the text boxes when it is moved left, so it comes last.
    MonthView1 = makeControl<MonthView>(Frame1, "MonthView1", twipsRect(4320, 120, 2700, 2370));
    MonthView1->setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);

    lstv = makeControl<ListView>(this, "lstv", twipsRect(0, 2760, 7815, 4455));

    // The mode buttons stand where the boxes' captions would.
    for (auto [box, image, button] :
         {std::tuple(txtFinishTime, imgFinishTime, cmdFinished), std::tuple(txtDate, imgDate, cmdDate),
          std::tuple(txtStartTime, imgStartTime, cmdStart)}) {
        box->setAccessibleName(button->text());
        image->setAccessibleName(kSearchName.arg(button->text()));
    }
    lstQuickMonth->setAccessibleName(cmdQuickSearchMonth->text());
    lstv->setAccessibleName(kResultsName);
    // Grown, the results take the room.
    (new Anchors(this))->pin(lstv, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);

    connect(cmdDate, &QPushButton::clicked, this, &frmOrganizerSearch::cmdDate_Click);
    connect(cmdStart, &QPushButton::clicked, this, &frmOrganizerSearch::cmdStart_Click);
    connect(cmdFinished, &QPushButton::clicked, this, &frmOrganizerSearch::cmdFinished_Click);
    connect(cmdCalendar, &QPushButton::clicked, this, &frmOrganizerSearch::cmdCalendar_Click);
    connect(cmdQuickSearchMonth, &QPushButton::clicked, this, &frmOrganizerSearch::cmdQuickSearchMonth_Click);
    connect(imgDate, &QToolButton::clicked, this, &frmOrganizerSearch::imgDate_Click);
    connect(imgStartTime, &QToolButton::clicked, this, &frmOrganizerSearch::imgStartTime_Click);
    connect(imgFinishTime, &QToolButton::clicked, this, &frmOrganizerSearch::imgFinishTime_Click);
    connect(txtDate, &QLineEdit::returnPressed, this, &frmOrganizerSearch::imgDate_Click);
    connect(txtStartTime, &QLineEdit::returnPressed, this, &frmOrganizerSearch::imgStartTime_Click);
    connect(txtFinishTime, &QLineEdit::returnPressed, this, &frmOrganizerSearch::imgFinishTime_Click);
    connect(MonthView1, &MonthView::DateClick, this, &frmOrganizerSearch::MonthView1_DateClick);
    connect(lstQuickMonth, &QListWidget::itemClicked, this, &frmOrganizerSearch::lstQuickMonth_Click);
}

void frmOrganizerSearch::Form_Load()
{
    connectStore(Con);
    BusyDays::follow(MonthView1, Con);
    lstv->addColumn(QStringLiteral("Time Start"), kDefaultColumnWidth);
    lstv->addColumn(QStringLiteral("Note"), kDefaultColumnWidth);
    lstv->addColumn(QStringLiteral("Time Finish"), kDefaultColumnWidth);
    // Times sort as the planner reads them; one it cannot read comes first.
    const auto atTime = [](const QString& text) -> qint64 {
        const std::optional<QTime> time = Clock::parseTime(text);
        return time ? time->msecsSinceStartOfDay() : -1;
    };
    lstv->setSortKey(0, atTime);
    lstv->setSortKey(2, atTime);
    // Only the frame, the mode buttons and the list are visible at first.
    showOnly({},
             {lstQuickMonth, MonthView1, txtFinishTime, txtDate, txtStartTime, imgFinishTime, imgDate, imgStartTime});
}

void frmOrganizerSearch::Form_Unload()
{
    // The rows not read yet go with the file.
    lstv->clearItems();
    Con.Close();
}

void frmOrganizerSearch::cmdDate_Click()
{
    showOnly({txtDate, imgDate}, {imgFinishTime, lstQuickMonth, imgStartTime, txtFinishTime, txtStartTime, MonthView1});
    txtDate->setFocus();
}

void frmOrganizerSearch::cmdStart_Click()
{
    showOnly({txtStartTime, imgStartTime}, {imgFinishTime, imgDate, lstQuickMonth, txtDate, txtFinishTime, MonthView1});
    txtStartTime->setFocus();
    lstv->clearItems();
}

void frmOrganizerSearch::cmdFinished_Click()
{
    showOnly({txtFinishTime, imgFinishTime}, {imgDate, imgStartTime, txtDate, lstQuickMonth, txtStartTime, MonthView1});
    txtFinishTime->setFocus();
    lstv->clearItems();
}

void frmOrganizerSearch::cmdCalendar_Click()
{
    // The text boxes keep their state; the calendar covers them.
    showOnly({}, {imgFinishTime, lstQuickMonth, imgDate, imgStartTime});
    showCalendarAtLeft();
    lstv->clearItems();
}

void frmOrganizerSearch::cmdQuickSearchMonth_Click()
{
    showOnly({}, {imgFinishTime, txtDate, imgDate, imgStartTime, txtFinishTime, txtStartTime});
    LoadMonth();
    lstQuickMonth->show();
    showCalendarAtLeft();
}

void frmOrganizerSearch::showCalendarAtLeft()
{
    MonthView1->move(twips(kCalendarLeft), MonthView1->y());
    MonthView1->show();
    MonthView1->raise();
}

void frmOrganizerSearch::LoadMonth()
{
    lstQuickMonth->clear();
    lstQuickMonth->addItems(kMonths);
}

void frmOrganizerSearch::imgDate_Click()
{
    Search(kFieldDate, txtDate->text());
}

void frmOrganizerSearch::imgStartTime_Click()
{
    Search(kFieldStart, txtStartTime->text());
}

void frmOrganizerSearch::imgFinishTime_Click()
{
    Search(kFieldFinished, txtFinishTime->text());
}

void frmOrganizerSearch::MonthView1_DateClick()
{
    lstv->clearItems();
    Search(kFieldDate, Clock::dateText(MonthView1->Value()));
}

void frmOrganizerSearch::lstQuickMonth_Click()
{
    const int months = lstQuickMonth->currentRow();
    if (months >= 0)
        MonthView1->setValue(Clock::today().addMonths(months));
}

namespace {

// The stored rows as the search lists them: the first row of a series says
// it repeats, in the words its later occurrences have. A view of this
// connection only, so the file keeps its tables as they are.
const QString kSearchView = QStringLiteral("vOrginizeSearch");

void makeSearchView(Connection& con)
{
    const QString named =
        u'\'' + kOccurrenceNote.arg(QStringLiteral("' || o.Note || '"), QStringLiteral("' || o.DateValue || '"))
        + u'\'';
    Statement(
        con.handle(),
        QStringLiteral("CREATE TEMP VIEW IF NOT EXISTS %1 AS SELECT o.rowid AS rowid, o.DateValue, o.TimeStart, "
                       "o.TimeFinished, CASE WHEN s.Rule <> '' THEN %2 ELSE o.Note END AS Note FROM tblOrginize o "
                       "LEFT JOIN tblOrginizeSeries s ON s.OrgRow = o.OrgRow")
            .arg(kSearchView, named))
        .step();
}

}  // namespace

void frmOrganizerSearch::Search(const QString& field, const QString& value)
{
    // The typed text is bound as it is, untrimmed: a quote in it is just a
    // character to match. The rows found are read as they come into view;
    // the caption names the date of the last of them.
    storeGuard([&] {
        makeSearchView(Con);
        QueryPages found(Con, kSearchView, {kFieldStart, QStringLiteral("Note"), kFieldFinished}, field, value);
        // The stored rows have the day's text; a repeating appointment's
        // later occurrences, and the further days of one that covers
        // several, are found by the day the text says (written exactly as
        // the planner writes it).
        QList<Occurrences::Entry> more;
        const std::optional<QDate> day = field == kFieldDate ? Clock::parseDate(value) : std::nullopt;
        if (day && Clock::dateText(*day) == value)
            for (const Occurrences::Entry& e : Occurrences::between(Con, *day, *day))
                if (e.continued || (e.repeats && e.date != e.first))
                    more << e;
        if (found.count() == 0 && more.isEmpty()) {
            MsgBox(kNotFound, MsgButtons::OKOnly, MsgIcon::Exclamation, kNotFoundTitle);
            return;
        }
        setWindowTitle(more.isEmpty() ? found.lastText(kFieldDate) : value);
        lstv->addQuery(std::move(found));
        for (const Occurrences::Entry& e : more) {
            const int row = lstv->addItem(e.start);
            lstv->setSubItem(row, 1,
                             e.continued ? DayLayout::kContinued.arg(e.note)
                                         : kOccurrenceNote.arg(e.note, Clock::dateText(e.first)));
            lstv->setSubItem(row, 2, e.finish);
        }
        if (!more.isEmpty())
            lstv->resizeColumnsToContents();
    });
}
