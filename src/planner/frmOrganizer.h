#pragma once

#include <array>
#include <optional>

#include <QHash>

#include "kit/MsgBox.h"
#include "kit/Occurrences.h"
#include "planner/Appointments.h"
#include "planner/DayLayout.h"
#include "store/Connection.h"
#include "window/Screens.h"

class Anchors;
class QComboBox;
class QGroupBox;
class QCompleter;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class RichTextBox;
class MSFlexGrid;
class MonthView;
class TaskPanel;
struct RecordsChange;

// The day planner: twelve month pages, each a month calendar beside a grid of
// half-hour slots, a help page and the task list. A slot is written by clicking its row;
// Save stores the row clicked last as one appointment.
class frmOrganizer : public Form {
    Q_OBJECT
public:
    static constexpr int kPages = 12;
    template <class T>
    using PageArray = std::array<T*, kPages>;

    frmOrganizer();
    // A month page's controls exist once it has been filled (pagesFilled()).
    void Form_Load() override;
    void Form_Unload() override;
    bool isChildWindow() const override { return true; }

    void MonthView1_DateClick(int k);
    void txtMessage_Change(int k);
    void MSgridTime_Click(int k);
    void cmdSave_Click(int k);
    void cboRepeat_Activated(int k, int index);
    void cmdSearch_Click(int k);
    // The day on its month page (the first or last page for a day outside them).
    void showDay(QDate date);
    // The task of row `key` chosen on the Tasks page.
    void showTask(qint64 key);
    // Every month page shows its day and bold days (none waits for an idle moment).
    bool pagesFilled() const;

    QTabWidget* SSTab1;
    PageArray<MSFlexGrid> MSgridTime{};
    PageArray<QGroupBox> Frame1{};
    PageArray<MonthView> MonthView1{};
    PageArray<QLabel> Label1{};
    PageArray<QPlainTextEdit> txtMessage{};
    PageArray<QLabel> Label2{};
    PageArray<QComboBox> cboTimeFinshed{};
    // How the row's appointment repeats: none, daily, weekly, monthly,
    // yearly, a custom rule (its words in the tooltip), or the dialog that makes one.
    PageArray<QLabel> lblRepeat{};
    PageArray<QComboBox> cboRepeat{};
    // A row that shows several stored appointments: which of them its new
    // text is for, or a new one. Shown only for such a row.
    PageArray<QLabel> lblFor{};
    PageArray<QComboBox> cboFor{};
    // Who is invited to the row's appointment, addresses with commas
    // between, each with the answer given so far in brackets.
    PageArray<QLineEdit> txtAttendees{};
    PageArray<QPushButton> cmdSave{};
    PageArray<QPushButton> cmdSearch{};
    // The day's all-day events and appointments whose start is no time.
    PageArray<QLabel> lblAllDay{};
    RichTextBox* txtHelp;
    // The Tasks page, after the help page.
    TaskPanel* tasks;
    static constexpr int kTasksPage = kPages + 1;

protected:
    // The Delete key on a grid row deletes its appointments.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Page k's controls, made when it is first filled (see fillPage); until
    // then its entries in the arrays above are null.
    void buildMonthPage(int k);
    void openHelpDoc();
    void FlexGrid(int k);
    void LoadDate();
    void LoadingTime(int k);
    void LoadTimeFinished(int k);
    void ClearTextBox(int k);
    void SavingAddress(int k);
    void LoadSearch(int k);
    // Shows the stored appointments of page k's date; rows filled and not
    // saved yet keep what was typed. A row filled on another day becomes a
    // new appointment of this one.
    void showDay(int k, bool otherDay = false);
    void deleteRow(int k);
    // Page k made, and its day and bold days shown when they have not been
    // since the pages opened. The page shown is filled first; the others
    // when turned to, or one at a time once the window is idle.
    void fillPage(int k);
    void fillNextPage();
    // Every page read again, as after opening, the page `shown` first: what
    // changed may be a series that falls on every page's day.
    void refillPages(int shown);
    // The tasks due on page k's day (and overdue ones, on today) beside its all-day events.
    QString dueTasks(int k);
    // Appointments stored elsewhere (another screen, an import, a sync,
    // another process) show on the pages.
    void recordsChanged(const RecordsChange& change);
    // A repeating appointment's occurrence: whether only it is meant
    // (Yes), the whole series (No), or nothing (Cancel).
    MsgResult askWhich(const QString& question, const Occurrences::Entry& e);
    // The Repeat box: the rule it says (empty: none), set to say one, and
    // following the current row, which shows how its stored appointment repeats.
    QString repeatRule(int k, int index) const;
    void setRepeat(int k, const QString& rule);
    void showRepeat(int k);
    bool repeatChanged(int k) const;
    // The appointment of the current row, or none for a new one.
    const Occurrences::Entry* rowEntry(int k) const;
    // Page k's chooser lists the current row's appointments when it shows several.
    void showFor(int k);
    // What the chooser names: one of them, an empty entry for a new one,
    // nothing while none is chosen.
    std::optional<Occurrences::Entry> chosenFor(int k) const;
    // The current row shows several appointments and none is chosen: says so.
    bool mustChoose(int k);
    void customRepeat(int k);
    // The attendees of the current row's appointment and their answers, or
    // what was typed for a new one.
    void showAttendees(int k);
    void offerAttendees(int k, const QString& typed);
    // After a save of row `row`: invites the attendees typed (asking first),
    // an update to those invited before and a cancellation to those left out.
    void sendInvitations(int k, qint64 row);
    // The deleted appointments' attendees are told, after asking.
    void sendCancellations(const QList<Occurrences::Entry>& gone);
    void saveRepeatOnly(int k);

    Connection Con;
    Anchors* m_anchors = nullptr;
    QDate m_firstDay;  // today, when the pages opened: page k shows the k-th month after it
    // What Save and Delete store, on Con.
    Appointments m_appointments{Con};
    // Which of the day's appointments (repeating ones' occurrences
    // included) make the page: DayLayout's ids index m_entries.
    std::array<QList<Occurrences::Entry>, kPages> m_entries;
    std::array<DayLayout::Day, kPages> m_shown;
    // Rows filled and not saved yet, and the appointment each changes (row 0: a new one).
    std::array<QHash<int, Occurrences::Entry>, kPages> m_pending;
    struct RepeatShown {
        QString custom;      // the rule of the box's Custom entry
        int index = 0;       // the entry chosen before the one being chosen
        int shownIndex = 0;  // what the box said when its row was shown
        QString shownCustom;
        bool fromRow = false;  // the box says a stored appointment's rule
        int row = 0;           // the grid row it was shown for
    };
    std::array<RepeatShown, kPages> m_repeat;
    PageArray<QCompleter> m_attendeeCompleter{};
    std::array<bool, kPages> m_attendeesOfRow{};  // the box shows a stored appointment's
    bool m_painting = false;                      // rows moved by code while a day is shown
    std::array<bool, kPages> m_unfilled{};        // pages opened and not filled yet
    QTimer* m_fillTimer = nullptr;                // fills the next page when nothing else waits
};
