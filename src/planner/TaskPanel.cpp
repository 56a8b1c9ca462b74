#include "planner/TaskPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTreeWidget>

#include "controls/Anchors.h"
#include "controls/Controls.h"
#include "controls/Twips.h"
#include "kit/Clock.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"
#include "store/Connection.h"

namespace {
using F = TaskFields::Field;

const QString kTaskHeading = QStringLiteral("Task");
const QString kDueHeading = QStringLiteral("Due");
const QString kHideDone = QStringLiteral("Hide done tasks");
const QString kFrame = QStringLiteral("Task");
const QString kNew = QStringLiteral("New");
const QString kSave = QStringLiteral("Save");
const QString kDone = QStringLiteral("Done");
const QString kDelete = QStringLiteral("Delete");
const QString kNoTitle = QStringLiteral("Type what there is to do first.");
const QString kDeleteQuestion = QStringLiteral("Delete \"%1\"?");
const QString kDeleteWithSubtask = QStringLiteral("Delete \"%1\" and the task under it?");
const QString kDeleteWithSubtasks = QStringLiteral("Delete \"%1\" and the %2 tasks under it?");
const QString kOrphans = QStringLiteral("Tasks whose parent task is not here stand at the top level: %1.");
const QString kLoopsCut = QStringLiteral("A loop of parent tasks was cut at %1, which stands at the top level.");
const QStringList kRepeatChoices = {QStringLiteral("Does not repeat"), QStringLiteral("Daily"),
                                    QStringLiteral("Weekly"), QStringLiteral("Monthly"), QStringLiteral("Yearly")};
const QString kRepeatKept = QStringLiteral("As it came, kept: %1");
const QString kOverdue = QStringLiteral("%1 (overdue)");

QString dueText(const QString& stored)
{
    const std::optional<QDate> day = TaskDates::day(stored);
    if (!day)
        return {};
    const std::optional<QTime> time = TaskDates::time(stored);
    return time ? Clock::dateText(*day) + u' ' + time->toString(QStringLiteral("h:mmAP")) : Clock::dateText(*day);
}

}  // namespace

TaskPanel::TaskPanel(QWidget* page, Connection& con)
    : QWidget(page)
    , m_con(con)
    , m_tasks(con)
{
    setObjectName(QStringLiteral("TaskPanel"));
    setGeometry(page->rect());
    lstTasks = makeControl<QTreeWidget>(this, "lstTasks", twipsRect(120, 120, 5535, 6135));
    lstTasks->setAccessibleName(QStringLiteral("Tasks"));
    lstTasks->setHeaderLabels({kTaskHeading, kDueHeading});
    lstTasks->header()->setStretchLastSection(false);
    lstTasks->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    lstTasks->setColumnWidth(1, twips(1500));
    lstTasks->installEventFilter(this);
    chkHideDone = makeControl<QCheckBox>(this, "chkHideDone", twipsRect(120, 6330, 2535, 300), kHideDone);
    lblTaskNotice = makeControl<QLabel>(this, "lblTaskNotice", twipsRect(2700, 6330, 2955, 300));
    lblTaskNotice->setWordWrap(true);

    frmTask = makeFrame(this, "frmTask", kFrame, twipsRect(5760, 60, 3735, 6570));
    makeLabel(frmTask, "lblTaskTitle", QStringLiteral("Title"), twipsRect(120, 270, 3495, 255));
    txtTaskTitle = makeTextBox(frmTask, "txtTaskTitle", twipsRect(120, 510, 3495, 315));
    chkTaskDue = makeControl<QCheckBox>(frmTask, "chkTaskDue", twipsRect(120, 930, 1080, 300), QStringLiteral("Due"));
    dtpTaskDue = makeControl<QDateEdit>(frmTask, "dtpTaskDue", twipsRect(1200, 900, 1335, 315));
    chkTaskDueTime =
        makeControl<QCheckBox>(frmTask, "chkTaskDueTime", twipsRect(120, 1320, 1080, 300), QStringLiteral("At"));
    tmTaskDue = makeControl<QTimeEdit>(frmTask, "tmTaskDue", twipsRect(1200, 1290, 1335, 315));
    chkTaskStart =
        makeControl<QCheckBox>(frmTask, "chkTaskStart", twipsRect(120, 1710, 1080, 300), QStringLiteral("Starts"));
    dtpTaskStart = makeControl<QDateEdit>(frmTask, "dtpTaskStart", twipsRect(1200, 1680, 1335, 315));
    makeLabel(frmTask, "lblTaskPriority", QStringLiteral("Priority"), twipsRect(120, 2130, 1080, 255));
    spnTaskPriority = makeControl<QSpinBox>(frmTask, "spnTaskPriority", twipsRect(1200, 2100, 1335, 315));
    spnTaskPriority->setRange(0, 9);
    spnTaskPriority->setSpecialValueText(QStringLiteral("None"));
    spnTaskPriority->setToolTip(QStringLiteral("1 is the highest priority, 9 the lowest."));
    makeLabel(frmTask, "lblTaskPercent", QStringLiteral("Done so far"), twipsRect(120, 2550, 1080, 255));
    spnTaskPercent = makeControl<QSpinBox>(frmTask, "spnTaskPercent", twipsRect(1200, 2520, 1335, 315));
    spnTaskPercent->setRange(0, 100);
    spnTaskPercent->setSuffix(QStringLiteral(" %"));
    makeLabel(frmTask, "lblTaskRepeat", QStringLiteral("Repeats"), twipsRect(120, 2940, 1080, 255));
    cboTaskRepeat = makeControl<QComboBox>(frmTask, "cboTaskRepeat", twipsRect(1200, 2910, 2415, 315));
    makeLabel(frmTask, "lblTaskNotes", QStringLiteral("Notes"), twipsRect(120, 3240, 3495, 255));
    txtTaskNotes = makeControl<QPlainTextEdit>(frmTask, "txtTaskNotes", twipsRect(120, 3480, 3495, 2025));
    txtTaskNotes->setTabChangesFocus(true);
    cmdTaskNew = makeCommandButton(frmTask, "cmdTaskNew", kNew, twipsRect(120, 5640, 855, 375));
    cmdTaskSave = makeCommandButton(frmTask, "cmdTaskSave", kSave, twipsRect(1000, 5640, 855, 375));
    cmdTaskDone = makeCommandButton(frmTask, "cmdTaskDone", kDone, twipsRect(1880, 5640, 855, 375));
    cmdTaskDelete = makeCommandButton(frmTask, "cmdTaskDelete", kDelete, twipsRect(2760, 5640, 855, 375));
    for (QWidget* w : {static_cast<QWidget*>(dtpTaskDue), static_cast<QWidget*>(dtpTaskStart)})
        static_cast<QDateEdit*>(w)->setCalendarPopup(true);
    txtTaskTitle->installEventFilter(this);
    // Read by what they hold, not by the frame around them.
    const std::pair<QWidget*, const char*> names[] = {{txtTaskTitle, "Title"},       {dtpTaskDue, "Due date"},
                                                      {tmTaskDue, "Due time"},       {dtpTaskStart, "Start date"},
                                                      {spnTaskPriority, "Priority"}, {spnTaskPercent, "Done so far"},
                                                      {cboTaskRepeat, "Repeats"},    {txtTaskNotes, "Notes"}};
    for (const auto& [control, name] : names)
        control->setAccessibleName(QString::fromLatin1(name));

    auto* anchors = new Anchors(this);
    anchors->pin(lstTasks, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);
    anchors->pin(chkHideDone, Qt::LeftEdge | Qt::BottomEdge);
    anchors->pin(lblTaskNotice, Qt::LeftEdge | Qt::RightEdge | Qt::BottomEdge);
    anchors->pin(frmTask, Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);

    connect(lstTasks, &QTreeWidget::currentItemChanged, this, [this] {
        if (!m_filling)
            showTask();
    });
    connect(lstTasks, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) {
        if (!m_filling)
            doneChanged(item);
    });
    connect(chkHideDone, &QCheckBox::toggled, this, &TaskPanel::refresh);
    connect(chkTaskDue, &QCheckBox::toggled, this, [this](bool on) {
        dtpTaskDue->setEnabled(on);
        chkTaskDueTime->setEnabled(on);
        tmTaskDue->setEnabled(on && chkTaskDueTime->isChecked());
    });
    connect(chkTaskDueTime, &QCheckBox::toggled, tmTaskDue, &QWidget::setEnabled);
    connect(chkTaskStart, &QCheckBox::toggled, dtpTaskStart, &QWidget::setEnabled);
    connect(cmdTaskNew, &QPushButton::clicked, this, [this] { cmdTaskNew_Click(); });
    connect(cmdTaskSave, &QPushButton::clicked, this, &TaskPanel::cmdTaskSave_Click);
    connect(cmdTaskDone, &QPushButton::clicked, this, &TaskPanel::cmdTaskDone_Click);
    connect(cmdTaskDelete, &QPushButton::clicked, this, &TaskPanel::cmdTaskDelete_Click);
    connect(txtTaskTitle, &QLineEdit::returnPressed, this, &TaskPanel::cmdTaskSave_Click);
    showTask();
}

qint64 TaskPanel::currentKey() const
{
    const QTreeWidgetItem* item = lstTasks->currentItem();
    return item ? item->data(0, Qt::UserRole).toLongLong() : 0;
}

void TaskPanel::refresh()
{
    const qint64 chosen = m_newUnder >= 0 ? m_shown.key : currentKey();
    TaskTree tree;
    if (m_con.isOpen())
        storeGuard([&] { tree = m_tasks.tree(!chkHideDone->isChecked()); });
    m_filling = true;
    lstTasks->clear();
    QList<QTreeWidgetItem*> path;  // the last item at each depth
    const QDate today = Clock::today();
    for (const TaskItem& t : tree.items) {
        path.resize(t.depth);
        auto* item = path.isEmpty() ? new QTreeWidgetItem(lstTasks) : new QTreeWidgetItem(path.last());
        path << item;
        item->setData(0, Qt::UserRole, t.key);
        item->setText(0, t.values[F::Title]);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, t.done() ? Qt::Checked : Qt::Unchecked);
        const QString due = dueText(t.values[F::Due]);
        const std::optional<QDate> day = TaskDates::day(t.values[F::Due]);
        item->setText(1, !t.done() && day && *day < today ? kOverdue.arg(due) : due);
        item->setToolTip(0, t.values[F::Notes]);
    }
    lstTasks->expandAll();
    m_filling = false;
    QStringList notice;
    if (tree.orphans)
        notice << kOrphans.arg(tree.orphans);  // a number
    if (!tree.loopsCut.isEmpty())
        notice << kLoopsCut.arg(tree.loopsCut.join(QStringLiteral(", ")));
    lblTaskNotice->setText(notice.join(u' '));
    lblTaskNotice->setToolTip(lblTaskNotice->text());
    choose(chosen);
}

void TaskPanel::choose(qint64 key)
{
    for (QTreeWidgetItemIterator it(lstTasks); *it; ++it)
        if ((*it)->data(0, Qt::UserRole).toLongLong() == key) {
            lstTasks->setCurrentItem(*it);
            return;
        }
    if (lstTasks->topLevelItemCount() > 0 && !lstTasks->currentItem())
        lstTasks->setCurrentItem(lstTasks->topLevelItem(0));
    showTask();
}

void TaskPanel::chooseTask(qint64 key)
{
    chkHideDone->setChecked(false);
    refresh();
    choose(key);
    lstTasks->setFocus();
}

QString TaskPanel::shownDue() const
{
    if (!chkTaskDue->isChecked())
        return {};
    return TaskDates::text(dtpTaskDue->date(),
                           chkTaskDueTime->isChecked() ? std::optional(tmTaskDue->time()) : std::nullopt);
}

QString TaskPanel::shownStart() const
{
    return chkTaskStart->isChecked() ? TaskDates::text(dtpTaskStart->date()) : QString();
}

void TaskPanel::showTask()
{
    m_newUnder = -1;
    m_shown = {};
    const qint64 key = currentKey();
    if (key && m_con.isOpen())
        storeGuard([&] {
            if (const std::optional<TaskValues> v = TaskRows::byKey(m_con, key))
                m_shown = {key, *v, 0, 0};
        });
    const TaskValues& v = m_shown.values;
    txtTaskTitle->setText(v[F::Title]);
    txtTaskNotes->setPlainText(v[F::Notes]);
    const std::optional<QDate> due = TaskDates::day(v[F::Due]);
    const std::optional<QTime> dueTime = TaskDates::time(v[F::Due]);
    chkTaskDue->setChecked(due.has_value());
    dtpTaskDue->setDate(due.value_or(Clock::today()));
    chkTaskDueTime->setChecked(dueTime.has_value());
    tmTaskDue->setTime(dueTime.value_or(QTime(9, 0)));
    const std::optional<QDate> start = TaskDates::day(v[F::Start]);
    chkTaskStart->setChecked(start.has_value());
    dtpTaskStart->setDate(start.value_or(Clock::today()));
    spnTaskPriority->setValue(v[F::Priority].toInt());
    spnTaskPercent->setValue(v[F::Percent].toInt());
    showRepeat(v[F::Rule]);
    dtpTaskDue->setEnabled(chkTaskDue->isChecked());
    chkTaskDueTime->setEnabled(chkTaskDue->isChecked());
    tmTaskDue->setEnabled(chkTaskDue->isChecked() && chkTaskDueTime->isChecked());
    dtpTaskStart->setEnabled(chkTaskStart->isChecked());
    m_dueShown = shownDue();
    m_startShown = shownStart();
    const bool any = key != 0;
    for (QWidget* w : {static_cast<QWidget*>(cmdTaskDone), static_cast<QWidget*>(cmdTaskDelete)})
        w->setEnabled(any);
    cmdTaskDone->setText(m_shown.done() ? QStringLiteral("To do") : kDone);
    frmTask->setEnabled(true);
}

void TaskPanel::showRepeat(const QString& rule)
{
    cboTaskRepeat->clear();
    cboTaskRepeat->addItems(kRepeatChoices);
    const TaskRepeat::Choice choice = TaskRepeat::of(rule);
    if (choice == TaskRepeat::Other)
        cboTaskRepeat->addItem(kRepeatKept.arg(rule));
    cboTaskRepeat->setCurrentIndex(choice);
    cboTaskRepeat->setToolTip(choice == TaskRepeat::Other ? kRepeatKept.arg(rule) : QString());
}

void TaskPanel::cmdTaskNew_Click(bool under)
{
    const qint64 parent = under ? currentKey() : 0;
    showTask();
    m_shown = {};
    m_newUnder = parent;
    txtTaskTitle->clear();
    txtTaskNotes->clear();
    chkTaskDue->setChecked(false);
    chkTaskStart->setChecked(false);
    spnTaskPriority->setValue(0);
    spnTaskPercent->setValue(0);
    showRepeat(QString());
    m_dueShown = m_startShown = QString();
    txtTaskTitle->setFocus();
}

void TaskPanel::cmdTaskSave_Click()
{
    if (txtTaskTitle->text().trimmed().isEmpty()) {
        MsgBox(kNoTitle, MsgButtons::OKOnly, MsgIcon::Exclamation);
        txtTaskTitle->setFocus();
        return;
    }
    if (m_newUnder < 0 && m_shown.key == 0)
        m_newUnder = 0;  // nothing chosen: a new task
    TaskValues v = m_shown.values;
    v[F::Title] = txtTaskTitle->text().trimmed();
    v[F::Notes] = txtTaskNotes->toPlainText();
    // A date left as it was shown keeps its stored form (UTC, say).
    if (shownDue() != m_dueShown)
        v[F::Due] = shownDue();
    if (shownStart() != m_startShown)
        v[F::Start] = shownStart();
    v[F::Priority] = QString::number(spnTaskPriority->value());
    v[F::Percent] = QString::number(spnTaskPercent->value());
    // A rule the choices cannot say stays as it came while it is chosen.
    if (cboTaskRepeat->currentIndex() < TaskRepeat::Other)
        v[F::Rule] = TaskRepeat::rule(TaskRepeat::Choice(cboTaskRepeat->currentIndex()));
    qint64 key = m_shown.key;
    const bool stored = storeGuard([&] {
        if (m_newUnder >= 0)
            key = m_tasks.add(v, m_newUnder);
        else
            m_tasks.change(key, v);
    });
    if (!stored)
        return;
    m_newUnder = -1;
    m_shown.key = key;
    emit tasksChanged();
    refresh();
    choose(key);
    lstTasks->setFocus();
}

void TaskPanel::doneChanged(QTreeWidgetItem* item)
{
    const qint64 key = item->data(0, Qt::UserRole).toLongLong();
    if (storeGuard([&] { m_tasks.setDone(key, item->checkState(0) == Qt::Checked, Clock::now()); }))
        emit tasksChanged();
    refresh();
    choose(key);
}

void TaskPanel::cmdTaskDone_Click()
{
    if (QTreeWidgetItem* item = lstTasks->currentItem())
        item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

void TaskPanel::cmdTaskDelete_Click()
{
    QTreeWidgetItem* item = lstTasks->currentItem();
    if (!item)
        return;
    const qint64 key = item->data(0, Qt::UserRole).toLongLong();
    // Counted in the whole tree: done tasks hidden under it go with it too.
    int under = 0;
    storeGuard([&] {
        const QList<TaskItem> all = m_tasks.tree().items;
        for (qsizetype i = 0; i < all.size(); ++i)
            if (all[i].key == key)
                for (qsizetype j = i + 1; j < all.size() && all[j].depth > all[i].depth; ++j)
                    ++under;
    });
    const QString question = under > 1    ? kDeleteWithSubtasks.arg(item->text(0)).arg(under)
                             : under == 1 ? kDeleteWithSubtask.arg(item->text(0))
                                          : kDeleteQuestion.arg(item->text(0));
    if (MsgBox(question, MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes)
        return;
    // The task shown next: the first below it that is not under it.
    QTreeWidgetItem* next = lstTasks->itemBelow(item);
    const auto isUnder = [item](QTreeWidgetItem* other) {
        for (QTreeWidgetItem* p = other ? other->parent() : nullptr; p; p = p->parent())
            if (p == item)
                return true;
        return false;
    };
    while (next && isUnder(next))
        next = lstTasks->itemBelow(next);
    if (!next)
        next = lstTasks->itemAbove(item);
    const qint64 nextKey = next ? next->data(0, Qt::UserRole).toLongLong() : 0;
    if (storeGuard([&] { m_tasks.remove(key); })) {
        emit tasksChanged();
        refresh();
        choose(nextKey);
        lstTasks->setFocus();
    }
}

void TaskPanel::moveTask(Tasks::Move how)
{
    const qint64 key = currentKey();
    bool moved = false;
    if (key && storeGuard([&] { moved = m_tasks.move(key, how); }) && moved) {
        refresh();
        choose(key);
    }
}

bool TaskPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (watched == txtTaskTitle && key->key() == Qt::Key_Escape) {
        showTask();
        lstTasks->setFocus();
        return true;
    }
    if (watched != lstTasks)
        return QWidget::eventFilter(watched, event);
    const bool alt = key->modifiers() & Qt::AltModifier;
    switch (key->key()) {
    case Qt::Key_Insert:
        cmdTaskNew_Click(key->modifiers() & Qt::ControlModifier);
        return true;
    case Qt::Key_F2:
        txtTaskTitle->setFocus();
        txtTaskTitle->selectAll();
        return true;
    case Qt::Key_Delete:
        cmdTaskDelete_Click();
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (!alt)
            break;
        moveTask(key->key() == Qt::Key_Up     ? Tasks::Move::Up
                 : key->key() == Qt::Key_Down ? Tasks::Move::Down
                 : key->key() == Qt::Key_Left ? Tasks::Move::Out
                                              : Tasks::Move::In);
        return true;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
