#include "controls/Accessible.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QCalendarWidget>
#include <QComboBox>
#include <QCoreApplication>
#include <QHash>
#include <QLocale>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPointer>
#include <QWindow>

#include "controls/Buttons.h"

namespace {
const char* const kActsAsButton = "actsAsButton";
const char* const kNamedChoiceBox = "namedChoiceBox";

// What a mouse click on `widget` at `at` does, after the screen reader's call has been answered.
void clickLater(QWidget* widget, QPoint at)
{
    QMetaObject::invokeMethod(
        widget,
        [widget, at] {
            const QPointF local(at);
            const QPointF global(widget->mapToGlobal(at));
            QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                                Qt::NoModifier);
            QCoreApplication::sendEvent(widget, &press);
            QCoreApplication::sendEvent(widget, &release);
        },
        Qt::QueuedConnection);
}

// A button of the family, or a widget that acts as one. Qt's tool button
// would take its name from the frame around it when it shows only a
// picture, and would answer "press" only after the click's handler (a
// message box) had returned, keeping the screen reader waiting.
class PressableAccessible : public QAccessibleWidget {
public:
    explicit PressableAccessible(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::Button)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        auto* button = qobject_cast<QAbstractButton*>(widget());
        if (t == QAccessible::Name)
            return widget()->accessibleName().isEmpty() && button ? Accessible::plainCaption(button->text())
                                                                  : widget()->accessibleName();
        if (t == QAccessible::Accelerator && button) {
            const QKeySequence keys = button->shortcut();
            return (keys.isEmpty() ? QKeySequence::mnemonic(button->text()) : keys).toString(QKeySequence::NativeText);
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (auto* button = qobject_cast<QAbstractButton*>(widget())) {
            s.pressed = button->isDown();
            s.checkable = button->isCheckable();
            s.checked = button->isChecked();
        }
        return s;
    }

    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }

    void doAction(const QString& action) override
    {
        if (action != pressAction()) {
            QAccessibleWidget::doAction(action);
        } else if (widget()->isEnabled()) {
            if (auto* button = qobject_cast<QAbstractButton*>(widget()))
                button->animateClick();
            else
                clickLater(widget(), widget()->rect().center());
        }
    }
};

// One day of a month page (or, in the first row, the name of a weekday).
class CalendarDay : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    CalendarDay(QAbstractItemView* days, int row, int column)
        : m_days(days)
        , m_row(row)
        , m_column(column)
    {
    }

    QCalendarWidget* calendar() const { return static_cast<QCalendarWidget*>(m_days->parentWidget()); }
    QModelIndex index() const { return m_days->model()->index(m_row, m_column); }
    QDate date() const
    {
        return Accessible::dayOfPage(calendar()->yearShown(), calendar()->monthShown(), m_row - 1,
                                     index().data().toInt());
    }

    bool isValid() const override { return m_days && index().isValid(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_days->window()->windowHandle(); }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_days); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    void setText(QAccessible::Text, const QString&) override {}
    QAccessible::Role role() const override { return m_row == 0 ? QAccessible::ColumnHeader : QAccessible::Cell; }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name)
            return QString();
        if (m_row == 0)
            return QLocale().dayName((calendar()->firstDayOfWeek() - 1 + m_column) % 7 + 1);
        return QLocale().toString(date(), QLocale::LongFormat);
    }

    QRect rect() const override
    {
        const QRect cell = m_days->visualRect(index());
        return QRect(m_days->viewport()->mapToGlobal(cell.topLeft()), cell.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.invisible = !m_days->isVisible();
        if (m_row == 0)
            return s;
        s.selectable = s.focusable = true;
        s.selected = date() == calendar()->selectedDate();
        s.focused = m_days->hasFocus() && m_days->currentIndex() == index();
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    QStringList actionNames() const override { return m_row == 0 ? QStringList() : QStringList{pressAction()}; }
    void doAction(const QString& action) override
    {
        if (action == pressAction() && m_row > 0)
            clickLater(m_days->viewport(), m_days->visualRect(index()).center());
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QAbstractItemView> m_days;
    int m_row, m_column;
};

// The day grid of a month calendar (a table view: weekday names in the
// first row, no week numbers). Its children are numbered the way the view
// numbers the cell it reports as focused, counting the view's hidden heading
// row and column, which stand empty here.
class CalendarDays : public QAccessibleWidget {
public:
    explicit CalendarDays(QAbstractItemView* days)
        : QAccessibleWidget(days, QAccessible::Table)
    {
    }
    ~CalendarDays() override
    {
        for (QAccessible::Id id : std::as_const(m_ids))
            QAccessible::deleteAccessibleInterface(id);
    }

    QAbstractItemView* days() const { return static_cast<QAbstractItemView*>(widget()); }
    int columns() const { return days()->model()->columnCount() + 1; }
    int childCount() const override { return (days()->model()->rowCount() + 1) * columns(); }
    int slot(const QModelIndex& cell) const { return (cell.row() + 1) * columns() + cell.column() + 1; }

    QAccessibleInterface* child(int i) const override
    {
        const int row = i / columns() - 1;
        const int column = i % columns() - 1;
        if (i >= childCount() || row < 0 || column < 0)
            return nullptr;
        QAccessible::Id& id = m_ids[{row, column}];
        if (!id)
            id = QAccessible::registerAccessibleInterface(new CalendarDay(days(), row, column));
        return QAccessible::accessibleInterface(id);
    }

    int indexOfChild(const QAccessibleInterface* cell) const override
    {
        const auto* day = dynamic_cast<const CalendarDay*>(cell);
        return day ? slot(day->index()) : -1;
    }

    QAccessibleInterface* focusChild() const override
    {
        const QModelIndex current = days()->currentIndex();
        return current.isValid() ? child(slot(current)) : nullptr;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name)
            return QAccessibleWidget::text(t);
        auto* calendar = static_cast<QCalendarWidget*>(widget()->parentWidget());
        return QLocale().toString(QDate(calendar->yearShown(), calendar->monthShown(), 1), QStringLiteral("MMMM yyyy"));
    }

private:
    // By place, not by number: the numbers change with the grid's columns.
    mutable QHash<QPair<int, int>, QAccessible::Id> m_ids;
};

// A window in the main window's work area. Qt names it by its caption only;
// one without a caption (the logo, a note not saved yet) is named by the
// screen inside it.
class SubWindowAccessible : public QAccessibleWidget {
public:
    explicit SubWindowAccessible(QMdiSubWindow* window)
        : QAccessibleWidget(window, QAccessible::Window)
    {
    }
    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name)
            return QAccessibleWidget::text(t);
        auto* window = static_cast<QMdiSubWindow*>(widget());
        const QString caption = window->windowTitle().remove(QStringLiteral("[*]"));
        return caption.isEmpty() && window->widget() ? window->widget()->accessibleName() : caption;
    }
};

// A box of choices read by a name of its own, as it has no label to be read
// with: its choice is its value, its list of choices its one child, as Qt
// gives them.
class NamedChoiceBox : public QAccessibleWidget {
public:
    explicit NamedChoiceBox(QComboBox* box)
        : QAccessibleWidget(box, QAccessible::ComboBox)
    {
    }
    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return widget()->accessibleName();
        if (t == QAccessible::Value)
            return box()->currentText();
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int i) const override
    {
        return i == 0 ? QAccessible::queryAccessibleInterface(box()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* part) const override
    {
        return part && part->object() == box()->view() ? 0 : -1;
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = box()->view()->isVisible();
        return s;
    }
    QStringList actionNames() const override
    {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override
    {
        if (action != showMenuAction() && action != pressAction())
            QAccessibleWidget::doAction(action);
        else if (widget()->isEnabled())  // after the answer: the list takes the mouse while it shows
            QMetaObject::invokeMethod(box(), &QComboBox::showPopup, Qt::QueuedConnection);
    }
};

QAccessibleInterface* factory(const QString&, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return nullptr;
    if (qobject_cast<ButtonBase*>(widget) || widget->property(kActsAsButton).toBool())
        return new PressableAccessible(widget);
    if (auto* window = qobject_cast<QMdiSubWindow*>(widget))
        return new SubWindowAccessible(window);
    if (auto* box = qobject_cast<QComboBox*>(widget); box && box->property(kNamedChoiceBox).toBool())
        return new NamedChoiceBox(box);
    auto* days = qobject_cast<QAbstractItemView*>(widget);
    if (days && qobject_cast<QCalendarWidget*>(widget->parentWidget()))
        return new CalendarDays(days);
    return nullptr;
}

}  // namespace

// After the application's own factory, so that this one is asked first.
void Accessible::install()
{
    static const bool installed = (QAccessible::installFactory(factory), true);
    Q_UNUSED(installed);
}

void Accessible::actAsButton(QWidget* widget, const QString& name)
{
    install();
    widget->setProperty(kActsAsButton, true);
    // Setting a label's text has made its interface already; it is made anew.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(widget))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    widget->setAccessibleName(name);
}

void Accessible::nameChoiceBox(QComboBox* box, const QString& name)
{
    install();
    box->setProperty(kNamedChoiceBox, true);
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(box))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    box->setAccessibleName(name);
}

QString Accessible::plainCaption(const QString& caption)
{
    QString plain;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size())
            ++i;
        plain += caption[i];
    }
    return plain;
}

QDate Accessible::dayOfPage(int year, int month, int week, int day)
{
    const QDate first(year, month, 1);
    if (week < 2 && day > 20)
        return first.addMonths(-1).addDays(day - 1);
    if (week > 3 && day < 15)
        return first.addMonths(1).addDays(day - 1);
    return first.addDays(day - 1);
}
