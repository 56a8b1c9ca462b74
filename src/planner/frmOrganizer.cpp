#include "planner/frmOrganizer.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringListModel>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>

#include "controls/Anchors.h"
#include "controls/Controls.h"
#include "controls/MSFlexGrid.h"
#include "controls/MonthView.h"
#include "controls/RichTextBox.h"
#include "controls/Twips.h"
#include "kit/AppFolder.h"
#include "kit/Clock.h"
#include "kit/Invitation.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"
#include "planner/BusyDays.h"
#include "planner/RepeatRule.h"
#include "planner/TaskPanel.h"
#include "planner/Tasks.h"
#include "planner/frmOrganizerSearch.h"
#include "planner/frmRepeat.h"
#include "store/RecordsChanged.h"
#include "window/SavingProgress.h"

namespace {
// How long the other pages wait for the first page's paint, in ms.
constexpr int kFillUnpainted = 100;
const QString kCaption = QStringLiteral("Organizer");

// Month names in the planner's own spelling; page k shows the k-th month after
// today's, so its caption is the name of that month, not of the k-th month of the year.
const QStringList kTabCaptions = {
    QStringLiteral("January"),   QStringLiteral("Febuary"), QStringLiteral("March"),    QStringLiteral("Abril"),
    QStringLiteral("May"),       QStringLiteral("June"),    QStringLiteral("July"),     QStringLiteral("August"),
    QStringLiteral("September"), QStringLiteral("October"), QStringLiteral("November"), QStringLiteral("December"),
    QStringLiteral("Help"),      QStringLiteral("Tasks"),
};
// Beside the day's all-day events: its tasks still to do.
const QString kDueOnDay = QStringLiteral("To do: %1");
const QString kOverdueTask = QStringLiteral("%1 (overdue)");

const QString kHeadingStart = QStringLiteral("AM");
const QString kHeadingNote = QStringLiteral("Note");
const QString kHeadingFinished = QStringLiteral("Finished Time");

// Column 0 of rows 1 to 26. Start times are written without a blank before
// AM or PM; row 10 only marks the afternoon, yet it is an ordinary row.
const QStringList kStartTimes = {
    QStringLiteral("7:30AM"),  QStringLiteral("8:00AM"),  QStringLiteral("8:30AM"),  QStringLiteral("9:00AM"),
    QStringLiteral("9:30AM"),  QStringLiteral("10:00AM"), QStringLiteral("10:30AM"), QStringLiteral("11:00AM"),
    QStringLiteral("11:30AM"), QStringLiteral("PM"),      QStringLiteral("12:00PM"), QStringLiteral("12:30PM"),
    QStringLiteral("1:00PM"),  QStringLiteral("1:30PM"),  QStringLiteral("2:00PM"),  QStringLiteral("2:30PM"),
    QStringLiteral("3:00PM"),  QStringLiteral("3:30PM"),  QStringLiteral("4:00PM"),  QStringLiteral("4:30PM"),
    QStringLiteral("5:00PM"),  QStringLiteral("5:30PM"),  QStringLiteral("6:00PM"),  QStringLiteral("6:30PM"),
    QStringLiteral("7:00PM"),  QStringLiteral("7:30PM"),
};

// Finish times carry a blank before AM or PM; the hyphens split morning from
// afternoon and can be chosen like any entry.
const QStringList kFinishTimes = {
    QStringLiteral("7:00 AM"),  QStringLiteral("7:30 AM"),  QStringLiteral("8:00 AM"),  QStringLiteral("8:30 AM"),
    QStringLiteral("9:00 AM"),  QStringLiteral("9:30 AM"),  QStringLiteral("10:00 AM"), QStringLiteral("10:30 AM"),
    QStringLiteral("11:00 AM"), QStringLiteral("11:30 AM"), QStringLiteral("--------"), QStringLiteral("12:00 PM"),
    QStringLiteral("12:30 PM"), QStringLiteral("1:00 PM"),  QStringLiteral("1:30 PM"),  QStringLiteral("2:00 PM"),
    QStringLiteral("2:30 PM"),  QStringLiteral("3:00 PM"),  QStringLiteral("3:30 PM"),  QStringLiteral("4:00 PM"),
    QStringLiteral("4:30 PM"),  QStringLiteral("5:00 PM"),  QStringLiteral("5:30 PM"),  QStringLiteral("6:00 PM"),
    QStringLiteral("6:30 PM"),  QStringLiteral("7:00 PM"),  QStringLiteral("7:30 PM"),
};

const QString kMessageLabel = QStringLiteral("Message");
const QString kFinishLabel = QStringLiteral("Finish Time");
const QString kSave = QStringLiteral("Save");
const QString kRepeatLabel = QStringLiteral("Repeat");
const QString kAttendeesLabel = QStringLiteral("Attendees");
const QString kAttendeesHint = QStringLiteral("Attendees: e-mail addresses");
const QString kNoMailAccount =
    QStringLiteral("The invitations were not sent: they go out by e-mail, and no e-mail account is set up.");
const QString kSendInvitation = QStringLiteral("Send the invitation to %1?");
const QString kSendUpdate = QStringLiteral("Send the changed meeting to %1?");
const QString kSendCancel = QStringLiteral("Tell %1 that \"%2\" is called off?");
// The Repeat box's entries and the rule each stores; Custom stores the
// rule the dialog made or the one the appointment had.
const QStringList kRepeats = {
    QStringLiteral("None"),   QStringLiteral("Daily"),  QStringLiteral("Weekly"),          QStringLiteral("Monthly"),
    QStringLiteral("Yearly"), QStringLiteral("Custom"), QStringLiteral("Custom repeat...")};
constexpr int kCustom = 5;
constexpr int kCustomRepeat = 6;
const QStringList kRepeatRules = {QString(), QStringLiteral("FREQ=DAILY"), QStringLiteral("FREQ=WEEKLY"),
                                  QStringLiteral("FREQ=MONTHLY"), QStringLiteral("FREQ=YEARLY")};
const QString kSearch = QStringLiteral("Search");
// What a screen reader calls a month page's grid.
const QString kScheduleName = QStringLiteral("Schedule");
const QString kNoFinishTime = QStringLiteral("Don't forget the finish time");
const QString kDeleteQuestion = QStringLiteral("Delete %1 at %2?");
// A repeating appointment: Yes means the one occurrence, No the series.
const QString kChangeWhich = QStringLiteral("\"%1\" repeats. Change only this one? (No changes the whole series.)");
const QString kDeleteWhich = QStringLiteral("\"%1\" repeats. Delete only this one? (No deletes the whole series.)");
// A row that shows several appointments saves into the one chosen.
const QString kForLabel = QStringLiteral("Save into");
const QString kForNone = QStringLiteral("Choose");
const QString kForNew = QStringLiteral("A new appointment");
const QString kChooseFor =
    QStringLiteral("This row shows several appointments: choose in \"Save into\" which one to change.");
// A filled row's pending entry while which of its appointments it changes is chosen at Save.
constexpr qint64 kChosenAtSave = -1;
const QString kHelpMissing = QStringLiteral("The help file %1 could not be opened: %2.");

constexpr int kGridRows = 27;
constexpr int kGridCols = 3;
const QColor kFilled = bgrColor(0x00FFFF00);
// A row showing stored appointments: pale yellow, so that it is never taken
// for one filled and waiting to be saved.
const QColor kStored = bgrColor(0x00C0FFFF);

// Page positions are measured from the tabbed container's corner, tab strip
// included; the page itself starts below the strip.
int stripHeight(QTabWidget* tabs)
{
    return tabs->tabBar()->sizeHint().height() + 2;
}

QString name(const char* base, int k)
{
    return QStringLiteral("%1_%2").arg(QLatin1String(base)).arg(k);
}
}  // namespace

frmOrganizer::frmOrganizer()
{
    setObjectName(QStringLiteral("frmOrganizer"));
    setWindowTitle(kCaption);
    setWindowFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    resize(twips(9765), twips(7410));

    SSTab1 = makeControl<QTabWidget>(this, "SSTab1", twipsRect(0, 0, 9735, 7455));
    SSTab1->setAccessibleName(kCaption);
    // All thirteen tabs share one row, as narrow as their captions allow.
    SSTab1->tabBar()->setUsesScrollButtons(false);
    SSTab1->tabBar()->setExpanding(true);
    SSTab1->tabBar()->setElideMode(Qt::ElideNone);
    SSTab1->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 1px; }"));
    for (const QString& caption : kTabCaptions) {
        auto* page = new QWidget;
        page->setObjectName(QStringLiteral("SSTab1_page_%1").arg(SSTab1->count()));
        SSTab1->addTab(page, caption);
    }

    QWidget* help = SSTab1->widget(kPages);
    const int strip = stripHeight(SSTab1);
    txtHelp =
        makeControl<RichTextBox>(help, "txtHelp", QRect(twips(120), twips(480) - strip, twips(9015), twips(6735)));
    txtHelp->setReadOnly(true);
    tasks = new TaskPanel(SSTab1->widget(kTasksPage), Con);
    // The pages show the tasks due on their days.
    connect(tasks, &TaskPanel::tasksChanged, this, [this] {
        for (int k = 0; k < kPages; ++k)
            if (MSgridTime[std::size_t(k)])
                showDay(k);
    });

    // Grown, each page's grid takes the room; its calendar and message keep to the right.
    m_anchors = new Anchors(this);
    m_anchors->pin(SSTab1, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);
    m_anchors->pin(txtHelp, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);
    m_anchors->pin(tasks, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);

    SSTab1->setCurrentIndex(0);
    connect(&RecordsChanged::instance(), &RecordsChanged::changed, this, &frmOrganizer::recordsChanged);
    connect(SSTab1, &QTabWidget::currentChanged, this, [this](int k) {
        if (k < kPages)
            fillPage(k);
    });
    // After the first page is painted, a page at a time between the user's events.
    m_fillTimer = new QTimer(this);
    m_fillTimer->setSingleShot(true);
    connect(m_fillTimer, &QTimer::timeout, this, &frmOrganizer::fillNextPage);
    // Rows are read from an empty day until the page's own is shown.
    m_shown.fill(DayLayout::layout({}));
}

void frmOrganizer::buildMonthPage(int k)
{
    const auto i = std::size_t(k);
    if (MSgridTime[i])
        return;
    QWidget* page = SSTab1->widget(k);
    const int strip = stripHeight(SSTab1);
    auto onPage = [strip](int left, int top, int width, int height) {
        return QRect(twips(left), twips(top) - strip, twips(width), twips(height));
    };

    auto* grid = makeControl<MSFlexGrid>(page, name("MSgridTime", k), onPage(240, 600, 6015, 6615));
    grid->setRows(kGridRows);
    grid->setFixedRows(1);
    grid->setFixedCols(1);
    grid->setAccessibleName(kScheduleName);
    grid->installEventFilter(this);
    MSgridTime[i] = grid;

    // The strip between the tabs and the grid.
    auto* allDay =
        makeControl<QLabel>(page, name("lblAllDay", k), QRect(twips(240), 0, twips(6015), twips(600) - strip));
    allDay->setTextFormat(Qt::PlainText);
    lblAllDay[i] = allDay;

    auto* frame = makeControl<QGroupBox>(page, name("Frame1", k), onPage(6360, 480, 3135, 6735));
    Frame1[i] = frame;

    auto* calendar = makeControl<MonthView>(frame, name("MonthView1", k), twipsRect(120, 240, 2700, 2370));
    calendar->setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);
    MonthView1[i] = calendar;

    auto* message = makeControl<QLabel>(frame, name("Label1", k), twipsRect(120, 2760, 1695, 255), kMessageLabel);
    Label1[i] = message;

    auto* text = makeControl<QPlainTextEdit>(frame, name("txtMessage", k), twipsRect(120, 3240, 2535, 1215));
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtMessage[i] = text;

    auto* finish = makeControl<QLabel>(frame, name("Label2", k), twipsRect(120, 4560, 1335, 255), kFinishLabel);
    Label2[i] = finish;

    auto* combo = makeControl<QComboBox>(frame, name("cboTimeFinshed", k), twipsRect(120, 4800, 1455, 315));
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setMaxVisibleItems(kFinishTimes.size());
    combo->setEditText(kFinishLabel);
    cboTimeFinshed[i] = combo;
    auto* repeatLabel =
        makeControl<QLabel>(frame, name("lblRepeat", k), twipsRect(1680, 4560, 1335, 255), kRepeatLabel);
    lblRepeat[i] = repeatLabel;
    auto* repeat = makeControl<QComboBox>(frame, name("cboRepeat", k), twipsRect(1680, 4800, 1335, 315));
    repeat->addItems(kRepeats);
    repeat->setAccessibleName(kRepeatLabel);
    repeatLabel->setBuddy(repeat);
    cboRepeat[i] = repeat;
    message->setBuddy(text);
    finish->setBuddy(combo);
    combo->lineEdit()->setAccessibleName(kFinishLabel);

    auto* forLabel = makeControl<QLabel>(frame, name("lblFor", k), twipsRect(1680, 5280, 1335, 255), kForLabel);
    lblFor[i] = forLabel;
    auto* forBox = makeControl<QComboBox>(frame, name("cboFor", k), twipsRect(1680, 5520, 1335, 315));
    forBox->setPlaceholderText(kForNone);
    forBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    forLabel->setBuddy(forBox);
    forLabel->hide();
    forBox->hide();
    cboFor[i] = forBox;

    auto* attendees = makeControl<QLineEdit>(frame, name("txtAttendees", k), twipsRect(120, 6300, 2895, 315));
    attendees->setPlaceholderText(kAttendeesHint);
    attendees->setAccessibleName(kAttendeesLabel);
    txtAttendees[i] = attendees;
    // Typing an attendee offers the address book's addresses that start so.
    auto* completer = new QCompleter(new QStringListModel(this), this);
    completer->setWidget(attendees);
    completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    m_attendeeCompleter[i] = completer;
    QObject::connect(attendees, &QLineEdit::textEdited, this,
                     [this, k](const QString& text) { offerAttendees(k, text); });
    QObject::connect(completer, qOverload<const QString&>(&QCompleter::activated), this,
                     [attendees](const QString& address) {
                         const QString text = attendees->text();
                         const qsizetype cut = text.lastIndexOf(QLatin1Char(',')) + 1;
                         attendees->setText(text.left(cut) + (cut > 0 ? QStringLiteral(" ") : QString()) + address
                                            + QStringLiteral(", "));
                     });

    auto* save = makeControl<QPushButton>(frame, name("cmdSave", k), twipsRect(120, 5520, 1335, 375), kSave);
    cmdSave[i] = save;

    auto* search = makeControl<QPushButton>(frame, name("cmdSearch", k), twipsRect(120, 5880, 1335, 375), kSearch);
    cmdSearch[i] = search;

    QObject::connect(calendar, &MonthView::DateClick, this, [this, k] { MonthView1_DateClick(k); });
    QObject::connect(text, &QPlainTextEdit::textChanged, this, [this, k] { txtMessage_Change(k); });
    QObject::connect(grid, &MSFlexGrid::Click, this, [this, k] { MSgridTime_Click(k); });
    QObject::connect(save, &QPushButton::clicked, this, [this, k] { cmdSave_Click(k); });
    QObject::connect(search, &QPushButton::clicked, this, [this, k] { cmdSearch_Click(k); });
    QObject::connect(repeat, &QComboBox::activated, this, [this, k](int index) { cboRepeat_Activated(k, index); });
    QObject::connect(forBox, &QComboBox::activated, this, [this, k] { showRepeat(k); });
    // The grid's own handler has moved its current row by then.
    QObject::connect(grid->selectionModel(), &QItemSelectionModel::currentChanged, this, [this, k] {
        if (!m_painting && MSgridTime[std::size_t(k)]->Row() != m_repeat[std::size_t(k)].row) {
            showFor(k);
            showRepeat(k);
            showAttendees(k);
        }
    });

    // The note takes most of the room, the finish times the rest; a
    // crowded row shows what fits and how many more. Measured from the
    // first size, so before the anchors place it in a window grown already.
    grid->setStretch({{1, 0.75}, {2, 0.25}});
    grid->setListSeparator(DayLayout::kBetween);
    FlexGrid(k);
    LoadingTime(k);
    LoadTimeFinished(k);
    m_anchors->pin(grid, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);
    m_anchors->pin(allDay, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge);
    m_anchors->pin(frame, Qt::TopEdge | Qt::RightEdge);
    calendar->setValue(m_firstDay.addMonths(k));
    BusyDays::follow(calendar, Con, false);
    // Built on a page already shown, its controls are shown as they would have been with it.
    if (page->isVisible())
        for (QWidget* control : std::initializer_list<QWidget*>{grid, allDay, frame})
            control->show();
}

void frmOrganizer::Form_Load()
{
    // Without the database the pages still work; Save then says why it cannot store.
    connectStore(Con);
    openHelpDoc();
    LoadDate();
    // Each page is made and walks the repeating appointments over its own
    // weeks when first needed: the page shown now, the rest after it has been painted.
    m_unfilled.fill(true);
    if (const int shown = SSTab1->currentIndex(); shown < kPages) {
        fillPage(shown);
        MSgridTime[std::size_t(shown)]->viewport()->installEventFilter(this);
    }
    // A window not painted by then (hidden, or behind another) fills them anyway.
    m_fillTimer->start(kFillUnpainted);
    tasks->refresh();
}

void frmOrganizer::fillPage(int k)
{
    const auto i = std::size_t(k);
    buildMonthPage(k);
    if (!m_unfilled[i])
        return;
    m_unfilled[i] = false;
    showDay(k);
    BusyDays::show(MonthView1[i], Con);
}

bool frmOrganizer::pagesFilled() const
{
    return std::find(m_unfilled.begin(), m_unfilled.end(), true) == m_unfilled.end();
}

void frmOrganizer::fillNextPage()
{
    const auto next = std::find(m_unfilled.begin(), m_unfilled.end(), true);
    if (next == m_unfilled.end())
        return;
    fillPage(int(next - m_unfilled.begin()));
    m_fillTimer->start(0);
}

void frmOrganizer::recordsChanged(const RecordsChange& change)
{
    // What this screen stored it shows already. The days chosen stay, and
    // so do rows typed and not saved.
    if (!change.touches(RecordsChange::Appointments) || !Con.isOpen() || change.from(Con))
        return;
    if (Screens::waitForAnswer(this, [this, change] { recordsChanged(change); }))
        return;
    refillPages(SSTab1->currentIndex());
    tasks->refresh();
}

void frmOrganizer::refillPages(int shown)
{
    // The page shown at once, the others as after opening.
    m_unfilled.fill(true);
    if (shown < kPages)
        fillPage(shown);
    m_fillTimer->start(0);
}

void frmOrganizer::Form_Unload()
{
    Con.Close();
}

void frmOrganizer::openHelpDoc()
{
    const QString path = AppFolder::helpFile();
    try {
        txtHelp->LoadFile(path);
    } catch (const RichTextBoxError& e) {
        txtHelp->setPlainText(kHelpMissing.arg(QDir::toNativeSeparators(path), e.reason()));
    }
}

void frmOrganizer::FlexGrid(int k)
{
    MSFlexGrid* grid = MSgridTime[std::size_t(k)];
    grid->setCols(kGridCols);
    // The note gives up a little of its width so that "10:00AM" and
    // "Finished Time" are read whole beside it.
    grid->setColWidth(1, 3990);
    grid->setColWidth(0, 750);
    grid->setColWidth(2, 1140);
}

void frmOrganizer::LoadDate()
{
    // addMonths keeps the day, or takes the last day of a shorter month.
    // Pages made later open on the months counted from the same day.
    m_firstDay = Clock::today();
    for (int k = 0; k < kPages; ++k)
        SSTab1->setTabText(k, kTabCaptions[m_firstDay.addMonths(k).month() - 1]);
}

void frmOrganizer::LoadingTime(int k)
{
    MSFlexGrid* grid = MSgridTime[std::size_t(k)];
    grid->setCellAlignment(0);
    grid->setTextMatrix(0, 2, kHeadingFinished);
    grid->setTextMatrix(0, 1, kHeadingNote);
    grid->setTextMatrix(0, 0, kHeadingStart);
    for (int r = 0; r < kStartTimes.size(); ++r)
        grid->setTextMatrix(r + 1, 0, kStartTimes[r]);
}

void frmOrganizer::LoadTimeFinished(int k)
{
    QComboBox* combo = cboTimeFinshed[std::size_t(k)];
    combo->setFixedWidth(twips(1455));
    combo->clear();
    combo->addItems(kFinishTimes);
    // The box starts empty, so that a slot asks for a finish time first.
    combo->setCurrentIndex(-1);
    combo->clearEditText();
}

void frmOrganizer::MonthView1_DateClick(int k)
{
    fillPage(k);
    const auto i = std::size_t(k);
    MSgridTime[i]->setTextMatrix(0, 1, Clock::dateText(MonthView1[i]->Value()));
    showDay(k, true);
}

void frmOrganizer::showDay(int k, bool otherDay)
{
    const auto i = std::size_t(k);
    if (otherDay)
        for (Occurrences::Entry& e : m_pending[i])
            e = {};
    m_entries[i].clear();
    // Without the database the page stays empty; Save then says why.
    if (Con.isOpen())
        storeGuard([&] {
            const QDate date = MonthView1[i]->Value();
            m_entries[i] = m_appointments.onDay(date);
        });
    QList<DayLayout::Stored> stored;
    for (qsizetype n = 0; n < m_entries[i].size(); ++n) {
        const Occurrences::Entry& e = m_entries[i][n];
        stored.append({n, e.start, e.finish, e.continued ? DayLayout::kContinued.arg(e.note) : e.note});
    }
    m_shown[i] = DayLayout::layout(stored);
    const DayLayout::Day& day = m_shown[i];
    MSFlexGrid* grid = MSgridTime[i];
    const int row = grid->Row(), col = grid->Col();
    m_painting = true;
    for (int r = 1; r < kGridRows; ++r) {
        const DayLayout::Slot& slot = day.rowsOfGrid[r - 1];
        grid->setRowToolTip(r, slot.tooltip);
        if (m_pending[i].contains(r))
            continue;
        grid->setRow(r);
        for (int c = 1; c < kGridCols; ++c) {
            grid->setCol(c);
            grid->setText(c == 1 ? slot.note : slot.finish);
            grid->setCellBackColor(slot.ids.isEmpty() ? QColor() : kStored);
        }
    }
    grid->setRow(row);
    grid->setCol(col);
    m_painting = false;
    showFor(k);
    showRepeat(k);
    const QString due = dueTasks(k);
    const QString sep = day.allDay.isEmpty() || due.isEmpty() ? QString() : QString(DayLayout::kBetween);
    lblAllDay[i]->setText(day.allDay + sep + due);
    lblAllDay[i]->setToolTip(day.allDayTooltip
                             + (day.allDayTooltip.isEmpty() || due.isEmpty() ? QString() : QStringLiteral("\n")) + due);
}

QString frmOrganizer::dueTasks(int k)
{
    const QDate day = MonthView1[std::size_t(k)]->Value();
    QStringList titles;
    if (Con.isOpen())
        storeGuard([&] {
            for (const TaskItem& t : Tasks(Con).dueBy(day, day == Clock::today())) {
                const bool late = TaskDates::day(t.values[TaskFields::Due]) < day;
                titles << (late ? kOverdueTask.arg(t.values[TaskFields::Title]) : t.values[TaskFields::Title]);
            }
        });
    return titles.isEmpty() ? QString() : kDueOnDay.arg(titles.join(DayLayout::kBetween));
}

void frmOrganizer::showDay(QDate date)
{
    // Pages count from the month they opened on, which midnight may since have turned.
    const int k = std::clamp((date.year() - m_firstDay.year()) * 12 + date.month() - m_firstDay.month(), 0, kPages - 1);
    SSTab1->setCurrentIndex(k);  // made and filled when turned to
    MonthView1[std::size_t(k)]->setValue(date);
    MonthView1_DateClick(k);
}

void frmOrganizer::showTask(qint64 key)
{
    SSTab1->setCurrentIndex(kTasksPage);
    tasks->chooseTask(key);
}

void frmOrganizer::txtMessage_Change(int k)
{
    MSgridTime[std::size_t(k)]->setEnabled(true);
}

void frmOrganizer::MSgridTime_Click(int k)
{
    fillPage(k);
    const auto i = std::size_t(k);
    MSFlexGrid* grid = MSgridTime[i];
    if (cboTimeFinshed[i]->currentText().isEmpty()) {
        MsgBox(kNoFinishTime, MsgButtons::OKOnly, MsgIcon::Critical);
        cboTimeFinshed[i]->setFocus();
        return;
    }
    grid->setCol(1);
    grid->setCellBackColor(kFilled);
    grid->setText(txtMessage[i]->toPlainText());
    grid->setCol(2);
    grid->setCellBackColor(kFilled);
    grid->setText(cboTimeFinshed[i]->currentText());
    if (!m_pending[i].contains(grid->Row())) {
        const QList<qint64>& ids = m_shown[i].rowsOfGrid[grid->Row() - 1].ids;
        Occurrences::Entry meant = ids.isEmpty() ? Occurrences::Entry{} : m_entries[i][ids.first()];
        if (ids.size() > 1) {
            meant = {};
            meant.row = kChosenAtSave;
        }
        m_pending[i].insert(grid->Row(), meant);
    }
    ClearTextBox(k);
}

void frmOrganizer::ClearTextBox(int k)
{
    // The finish time stays, so the next slot can be filled without choosing again.
    txtMessage[std::size_t(k)]->clear();
}

void frmOrganizer::cmdSave_Click(int k)
{
    SavingAddress(k);
}

void frmOrganizer::SavingAddress(int k)
{
    fillPage(k);
    const auto i = std::size_t(k);
    MSFlexGrid* grid = MSgridTime[i];
    grid->setCol(0);
    const QString start = grid->Text();
    grid->setCol(1);
    const QString note = grid->Text();
    grid->setCol(2);
    const QString finished = grid->Text();
    // A row filled over a stored appointment changes that one (when the
    // row shows several, the one chosen); its start stays the true one. Not
    // filled again, the row shows the stored texts: nothing to change.
    const auto pending = m_pending[i].constFind(grid->Row());
    if (pending == m_pending[i].constEnd() && !m_shown[i].rowsOfGrid[grid->Row() - 1].ids.isEmpty()) {
        saveRepeatOnly(k);
        return;
    }
    Occurrences::Entry shown = pending == m_pending[i].constEnd() ? Occurrences::Entry{} : *pending;
    if (shown.row == kChosenAtSave) {
        if (mustChoose(k))
            return;
        shown = chosenFor(k).value_or(Occurrences::Entry{});
    }
    // A repeating one: only this occurrence, or the whole series.
    const MsgResult which = shown.repeats ? askWhich(kChangeWhich, shown) : MsgResult::Yes;
    if (which == MsgResult::Cancel)
        return;
    // The calendar's date now, not the one in the heading: they differ until a day is clicked.
    Appointment typed{MonthView1[i]->Value(), start, finished, note, std::nullopt};
    // A new one repeats as the Repeat box says; a stored one only when the box changed.
    if (!shown.row || repeatChanged(k))
        typed.rule = repeatRule(k, cboRepeat[i]->currentIndex());
    const Appointments::Scope scope = which == MsgResult::Yes ? Appointments::Scope::One : Appointments::Scope::Whole;
    qint64 written = 0;
    const bool saved = storeGuard([&] { written = m_appointments.save(typed, shown, scope).row; });
    // The bar confirms a stored appointment; a refused one has had its message instead.
    if (saved) {
        m_pending[i].remove(grid->Row());
        refillPages(k);  // a series falls on the other pages' days too
        Screens::show<frmSaving>();
        sendInvitations(k, written);
        showAttendees(k);
    }
}

MsgResult frmOrganizer::askWhich(const QString& question, const Occurrences::Entry& e)
{
    return MsgBox(question.arg(e.note), MsgButtons::YesNoCancel, MsgIcon::Question);
}

void frmOrganizer::deleteRow(int k)
{
    fillPage(k);
    const auto i = std::size_t(k);
    const int row = MSgridTime[i]->Row();
    const DayLayout::Slot& slot = m_shown[i].rowsOfGrid[row - 1];
    if (slot.ids.isEmpty() || m_pending[i].contains(row))
        return;
    // Each occurrence of a series in the row asks which is meant; the rest are asked about together.
    QList<Occurrences::Entry> whole, alone;
    for (const qint64 id : slot.ids) {
        const Occurrences::Entry& e = m_entries[i][id];
        if (!e.repeats)
            whole << e;
        else if (const MsgResult which = askWhich(kDeleteWhich, e); which == MsgResult::Cancel)
            return;
        else
            (which == MsgResult::Yes ? alone : whole) << e;
    }
    QStringList notes;
    for (const Occurrences::Entry& e : whole)
        if (!e.repeats)
            notes << e.note;
    const bool plain = notes.size() == slot.ids.size();
    if (!notes.isEmpty()
        && MsgBox(kDeleteQuestion.arg(plain ? slot.note : notes.join(DayLayout::kBetween),
                                      MSgridTime[i]->TextMatrix(row, 0)),
                  MsgButtons::YesNo, MsgIcon::Question)
               != MsgResult::Yes)
        return;
    sendCancellations(whole);
    storeGuard([&] {
        for (const Occurrences::Entry& e : alone)
            m_appointments.remove(e, Appointments::Scope::One);
        for (const Occurrences::Entry& e : whole)
            m_appointments.remove(e, Appointments::Scope::Whole);
    });
    refillPages(k);
}

bool frmOrganizer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint)
        for (MSFlexGrid* grid : MSgridTime)
            if (grid && watched == grid->viewport()) {
                watched->removeEventFilter(this);
                m_fillTimer->start(0);
            }
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete)
        for (int k = 0; k < kPages; ++k)
            if (watched == MSgridTime[std::size_t(k)]) {
                deleteRow(k);
                return true;
            }
    return Form::eventFilter(watched, event);
}

void frmOrganizer::cmdSearch_Click(int k)
{
    LoadSearch(k);
}

void frmOrganizer::LoadSearch(int k)
{
    if (frmOrganizerSearch* search = Screens::show<frmOrganizerSearch>())
        search->MonthView1->setValue(MonthView1[std::size_t(k)]->Value());
}

QString frmOrganizer::repeatRule(int k, int index) const
{
    return index == kCustom ? m_repeat[std::size_t(k)].custom : kRepeatRules.value(index);
}

void frmOrganizer::setRepeat(int k, const QString& rule)
{
    const auto i = std::size_t(k);
    const std::optional<RepeatRule::Choices> choices = RepeatRule::choicesOf(rule);
    // One of the simple entries only when the rule is nothing more than it.
    int index = rule.isEmpty() ? 0 : kCustom;
    RepeatRule::Choices plain;
    plain.frequency = choices ? choices->frequency : plain.frequency;
    if (choices && *choices == plain)
        index = 1 + int(choices->frequency);
    const QString words = index != kCustom ? QString() : choices ? RepeatRule::summaryOf(*choices) : rule;
    m_repeat[i].custom = index == kCustom ? rule : QString();
    m_repeat[i].index = index;
    cboRepeat[i]->setCurrentIndex(index);
    cboRepeat[i]->setToolTip(words);
    cboRepeat[i]->setAccessibleDescription(words);
}

const Occurrences::Entry* frmOrganizer::rowEntry(int k) const
{
    const auto i = std::size_t(k);
    const int row = MSgridTime[i]->Row();
    // Before the page's first day is shown, no row holds anything.
    if (row < 1 || row > m_shown[i].rowsOfGrid.size())
        return nullptr;
    if (const auto pending = m_pending[i].constFind(row);
        pending != m_pending[i].constEnd() && pending->row != kChosenAtSave)
        return pending->row ? &*pending : nullptr;
    const QList<qint64>& ids = m_shown[i].rowsOfGrid[row - 1].ids;
    const int chosen = ids.size() > 1 ? cboFor[i]->currentIndex() : 0;
    return ids.isEmpty() || chosen >= ids.size() ? nullptr : &m_entries[i][ids[std::max(chosen, 0)]];
}

void frmOrganizer::showFor(int k)
{
    const auto i = std::size_t(k);
    const int row = MSgridTime[i]->Row();
    const QList<qint64> ids =
        row >= 1 && row <= m_shown[i].rowsOfGrid.size() ? m_shown[i].rowsOfGrid[row - 1].ids : QList<qint64>();
    QComboBox* box = cboFor[i];
    box->clear();
    if (ids.size() > 1) {
        for (const qint64 id : ids) {
            const Occurrences::Entry& e = m_entries[i][id];
            box->addItem(e.note.section(u'\n', 0, 0));
            box->setItemData(box->count() - 1, e.start + u' ' + e.note, Qt::ToolTipRole);
        }
        box->addItem(kForNew);
        // The list is as wide as its longest entry, the box keeps its place.
        box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + box->view()->frameWidth() * 2);
    }
    box->setCurrentIndex(-1);
    box->setVisible(ids.size() > 1);
    lblFor[i]->setVisible(ids.size() > 1);
}

std::optional<Occurrences::Entry> frmOrganizer::chosenFor(int k) const
{
    const auto i = std::size_t(k);
    const QList<qint64>& ids = m_shown[i].rowsOfGrid[MSgridTime[i]->Row() - 1].ids;
    const int chosen = cboFor[i]->currentIndex();
    if (chosen < 0)
        return std::nullopt;
    return chosen < ids.size() ? m_entries[i][ids[chosen]] : Occurrences::Entry{};
}

bool frmOrganizer::mustChoose(int k)
{
    const auto i = std::size_t(k);
    if (m_shown[i].rowsOfGrid[MSgridTime[i]->Row() - 1].ids.size() < 2 || chosenFor(k))
        return false;
    MsgBox(kChooseFor, MsgButtons::OKOnly, MsgIcon::Exclamation);
    cboFor[i]->setFocus();
    return true;
}

void frmOrganizer::showRepeat(int k)
{
    RepeatShown& r = m_repeat[std::size_t(k)];
    const bool untouched = cboRepeat[std::size_t(k)]->currentIndex() == r.shownIndex && r.custom == r.shownCustom;
    r.row = MSgridTime[std::size_t(k)]->Row();
    const Occurrences::Entry* e = rowEntry(k);
    // A choice made for a new appointment stays while the rows it may go to are picked.
    if (!e && !(r.fromRow && untouched))
        return;
    setRepeat(k, e && e->repeats ? e->rule : QString());
    r.fromRow = e != nullptr;
    r.shownIndex = r.index;
    r.shownCustom = r.custom;
}

bool frmOrganizer::repeatChanged(int k) const
{
    const RepeatShown& r = m_repeat[std::size_t(k)];
    return r.fromRow && (r.index != r.shownIndex || r.custom != r.shownCustom);
}

void frmOrganizer::cboRepeat_Activated(int k, int index)
{
    fillPage(k);
    if (index == kCustomRepeat || (index == kCustom && m_repeat[std::size_t(k)].custom.isEmpty()))
        customRepeat(k);
    else
        setRepeat(k, repeatRule(k, index));
}

void frmOrganizer::customRepeat(int k)
{
    const auto i = std::size_t(k);
    const QString before = repeatRule(k, m_repeat[i].index);
    const Occurrences::Entry* e = rowEntry(k);
    const QDate first = e && e->repeats ? e->first : MonthView1[i]->Value();
    const QString start = e ? e->start : MSgridTime[i]->TextMatrix(MSgridTime[i]->Row(), 0);
    std::optional<QString> made;
    if (frmRepeat* dialog = Screens::load<frmRepeat>()) {
        dialog->setChoices(RepeatRule::choicesOf(before).value_or(RepeatRule::Choices{}), first);
        connect(dialog, &frmRepeat::chosen, this, [&](const RepeatRule::Choices& c) {
            // A row with no time of day repeats as whole days.
            made = RepeatRule::ruleOf(c, !Clock::parseTime(start));
        });
        Screens::runModal(dialog, this);
    }
    setRepeat(k, made.value_or(before));
}

void frmOrganizer::saveRepeatOnly(int k)
{
    // A row only showing its appointment, saved after its Repeat box changed:
    // the rule changes, the texts stay as stored.
    if (!repeatChanged(k) || mustChoose(k))
        return;
    const Occurrences::Entry* e = rowEntry(k);
    if (!e)
        return;
    const Occurrences::Entry shown = *e;
    if (shown.repeats && askWhich(kChangeWhich, shown) != MsgResult::No)
        return;
    const QString rule = repeatRule(k, cboRepeat[std::size_t(k)]->currentIndex());
    if (storeGuard([&] { m_appointments.changeRule(shown, rule, MonthView1[std::size_t(k)]->Value()); })) {
        refillPages(k);  // a series falls on the other pages' days too
        Screens::show<frmSaving>();
    }
}

namespace {
// The kept event of row `row` when it invites others and the user organizes
// it; `give`: the row is given a UID when it has none.
std::optional<Invitation::Sent> ownMeeting(qint64 row, bool give, const QString& me)
{
    const Invitation::Planner& planner = Invitation::planner();
    if (!planner.event || !row)
        return std::nullopt;
    std::optional<Invitation::Sent> event = planner.event(row, give);
    if (!event)
        return std::nullopt;
    const QString organizer = Invitation::read(event->object, {}).organizer;
    if (!organizer.isEmpty() && organizer.compare(me, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return event;
}

QString people(qsizetype n)
{
    return n == 1 ? QStringLiteral("1 person") : QStringLiteral("%1 people").arg(n);
}

// One message to each of `to`: an address the server refuses keeps no
// other attendee from hearing of the meeting.
void sendMessage(const QStringList& to, const QByteArray& event, const QString& method)
{
    const Invitation::Invite meeting = Invitation::read(event, {});
    const bool cancel = method == QLatin1String("CANCEL");
    Invitation::Outgoing out;
    out.subject = (cancel ? QStringLiteral("Called off: %1") : QStringLiteral("Invitation: %1")).arg(meeting.summary);
    out.text = (cancel ? QStringLiteral("%1 has called off \"%2\" on %3.\n")
                       : QStringLiteral("%1 invites you to \"%2\" on %3.\n"))
                   .arg(meeting.organizer, meeting.summary, Invitation::whenText(meeting));
    out.calendar = Invitation::message(event, method, Clock::now());
    out.method = method.toLatin1();
    for (const QString& address : to) {
        out.recipients = QStringList(address);
        Invitation::mailer().send(out);
    }
}
}  // namespace

void frmOrganizer::showAttendees(int k)
{
    const auto i = std::size_t(k);
    QLineEdit* box = txtAttendees[i];
    const Occurrences::Entry* e = rowEntry(k);
    const Invitation::Planner& planner = Invitation::planner();
    std::optional<Invitation::Sent> event;
    if (e && e->row && planner.event)
        event = planner.event(e->row, false);
    const Invitation::Invite meeting = event ? Invitation::read(event->object, {}) : Invitation::Invite{};
    const QString me = Invitation::mailer().own ? Invitation::mailer().own() : QString();
    // Someone else's meeting shows who is invited, and is answered from the mail.
    box->setReadOnly(!meeting.organizer.isEmpty() && meeting.organizer.compare(me, Qt::CaseInsensitive) != 0);
    if (e && e->row) {
        box->setText(event ? Invitation::answers(event->object) : QString());
        m_attendeesOfRow[i] = true;
    } else if (m_attendeesOfRow[i]) {
        // A new appointment keeps what was typed for it, not the one shown before.
        box->clear();
        m_attendeesOfRow[i] = false;
    }
    box->setToolTip(box->text());
}

void frmOrganizer::offerAttendees(int k, const QString& typed)
{
    const auto i = std::size_t(k);
    const Invitation::Mailer& mailer = Invitation::mailer();
    const QString part = typed.section(QLatin1Char(','), -1).trimmed();
    const QStringList offered = mailer.complete && !part.isEmpty() ? mailer.complete(part) : QStringList();
    static_cast<QStringListModel*>(m_attendeeCompleter[i]->model())->setStringList(offered);
    if (offered.isEmpty())
        m_attendeeCompleter[i]->popup()->hide();
    else
        m_attendeeCompleter[i]->complete();
}

void frmOrganizer::sendInvitations(int k, qint64 row)
{
    const QStringList attendees = Invitation::addressesIn(txtAttendees[std::size_t(k)]->text());
    const Invitation::Mailer& mailer = Invitation::mailer();
    if (txtAttendees[std::size_t(k)]->isReadOnly() || !mailer.send)
        return;
    const QString me = mailer.own();
    const std::optional<Invitation::Sent> before = ownMeeting(row, false, me);
    const QList<Invitation::Attendee> had =
        before ? Invitation::read(before->object, {}).attendees : QList<Invitation::Attendee>{};
    if (attendees.isEmpty() && had.isEmpty())
        return;
    if (me.isEmpty()) {
        MsgBox(kNoMailAccount, MsgButtons::OKOnly, MsgIcon::Exclamation);
        return;
    }
    QStringList leftOut;
    for (const Invitation::Attendee& a : had)
        if (!attendees.contains(a.address))
            leftOut << a.address;
    const std::optional<Invitation::Sent> event = ownMeeting(row, true, me);
    if (!event)
        return;
    if (MsgBox((had.isEmpty() ? kSendInvitation : kSendUpdate).arg(people(attendees.size() + leftOut.size())),
               MsgButtons::YesNo, MsgIcon::Question)
        != MsgResult::Yes)
        return;
    const QByteArray kept = Invitation::invited(event->object, me, attendees);
    if (const QString failure = Invitation::planner().keep(event->uid, kept); !failure.isEmpty()) {
        MsgBox(failure, MsgButtons::OKOnly, MsgIcon::Exclamation);
        return;
    }
    if (!leftOut.isEmpty())
        sendMessage(leftOut, event->object, QStringLiteral("CANCEL"));
    if (!attendees.isEmpty())
        sendMessage(attendees, kept, QStringLiteral("REQUEST"));
}

void frmOrganizer::sendCancellations(const QList<Occurrences::Entry>& gone)
{
    const Invitation::Mailer& mailer = Invitation::mailer();
    if (!mailer.send || !mailer.own)
        return;
    const QString me = mailer.own();
    for (const Occurrences::Entry& e : gone) {
        const std::optional<Invitation::Sent> event = ownMeeting(e.row, false, me);
        if (!event)
            continue;
        QStringList to;
        for (const Invitation::Attendee& a : Invitation::read(event->object, {}).attendees)
            to << a.address;
        if (!to.isEmpty()
            && MsgBox(kSendCancel.arg(people(to.size()), e.note.section(QLatin1Char('\n'), 0, 0)), MsgButtons::YesNo,
                      MsgIcon::Question)
                   == MsgResult::Yes)
            sendMessage(to, event->object, QStringLiteral("CANCEL"));
    }
}
