#pragma once

#include <QWidget>

#include "planner/Tasks.h"

class Connection;
class QCheckBox;
class QDateEdit;
class QGroupBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTimeEdit;
class QTreeWidget;
class QTreeWidgetItem;

// The Organizer's Tasks page: the tasks as a tree beside the form of the
// chosen one. Keys on the tree: Insert a new task (Ctrl+Insert one under
// the chosen task), F2 edit its title, Delete delete it with the tasks
// under it, Space done or to do again, Alt+Up/Down move it among its
// siblings, Alt+Right put it under the task above it, Alt+Left put it after
// its parent. Enter in the form saves, Escape goes back to the tree.
class TaskPanel : public QWidget {
    Q_OBJECT
public:
    TaskPanel(QWidget* page, Connection& con);

    // Reads the tasks again, the chosen one staying chosen.
    void refresh();
    // The task of row `key` chosen and shown, done ones shown too.
    void chooseTask(qint64 key);

    QTreeWidget* lstTasks;
    QCheckBox* chkHideDone;
    QLabel* lblTaskNotice;
    QGroupBox* frmTask;
    QLineEdit* txtTaskTitle;
    QCheckBox* chkTaskDue;
    QDateEdit* dtpTaskDue;
    QCheckBox* chkTaskDueTime;
    QTimeEdit* tmTaskDue;
    QCheckBox* chkTaskStart;
    QDateEdit* dtpTaskStart;
    QSpinBox* spnTaskPriority;
    QSpinBox* spnTaskPercent;
    QComboBox* cboTaskRepeat;
    QPlainTextEdit* txtTaskNotes;
    QPushButton* cmdTaskNew;
    QPushButton* cmdTaskSave;
    QPushButton* cmdTaskDone;
    QPushButton* cmdTaskDelete;

    void cmdTaskNew_Click(bool under = false);
    void cmdTaskSave_Click();
    void cmdTaskDone_Click();
    void cmdTaskDelete_Click();
    void moveTask(Tasks::Move how);

signals:
    // A task was stored or deleted here.
    void tasksChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    qint64 currentKey() const;
    void choose(qint64 key);
    void showTask();
    void doneChanged(QTreeWidgetItem* item);
    // The repeat choices, with the stored rule kept as it came when they cannot say it.
    void showRepeat(const QString& rule);
    // The dates as the form says them, and the texts of the task shown then.
    QString shownDue() const;
    QString shownStart() const;

    Connection& m_con;
    Tasks m_tasks;
    TaskItem m_shown;        // the task in the form (key 0: none)
    qint64 m_newUnder = -1;  // a new task is being typed, under this one (0: the top)
    QString m_dueShown, m_startShown;
    bool m_filling = false;
};
