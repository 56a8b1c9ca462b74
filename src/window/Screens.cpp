#include "window/Screens.h"

#include <map>
#include <vector>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSettings>
#include <QTimer>
#include <QTreeView>

#include "controls/MSFlexGrid.h"
#include "kit/AppFolder.h"

namespace {
std::map<std::type_index, QPointer<QWidget>>& registry()
{
    static std::map<std::type_index, QPointer<QWidget>> screens;
    return screens;
}

QPointer<QMdiArea>& area()
{
    static QPointer<QMdiArea> a;
    return a;
}

// Where each screen was last closed, and how large: beside the store, one
// group per screen. A window inside the work area keeps its frame's place
// there and whether it was maximized; one of its own, its geometry.
QString placesFile()
{
    return AppFolder::dataFolder() + QStringLiteral("/Windows.ini");
}

// Only a window that can be made larger has a place of its own to keep.
bool placeKept(const QWidget* widget)
{
    return !widget->objectName().isEmpty() && widget->minimumSize() != widget->maximumSize();
}

void rememberPlace(QWidget* widget)
{
    if (!placeKept(widget) || !QFileInfo(AppFolder::dataFolder()).isDir())
        return;
    QSettings places(placesFile(), QSettings::IniFormat);
    places.beginGroup(widget->objectName());
    if (auto* sub = qobject_cast<QMdiSubWindow*>(widget->parentWidget())) {
        // Maximized, it keeps the place it had before.
        if (!sub->isMaximized())
            places.setValue(QStringLiteral("frame"), sub->geometry());
        places.setValue(QStringLiteral("maximized"), sub->isMaximized());
    } else {
        places.setValue(QStringLiteral("geometry"), widget->saveGeometry());
    }
    // Each list's column widths and the order chosen by its headings.
    for (const QTreeView* list : widget->findChildren<QTreeView*>())
        if (!list->objectName().isEmpty())
            places.setValue(QStringLiteral("columns-") + list->objectName(), list->header()->saveState());
    for (const MSFlexGrid* grid : widget->findChildren<MSFlexGrid*>())
        if (grid->isSortable() && !grid->objectName().isEmpty())
            places.setValue(QStringLiteral("sorted-") + grid->objectName(),
                            QList<QVariant>{grid->sortColumn(), int(grid->sortOrder())});
}

// Back where it was, never smaller than its first size, and on a screen
// that exists (in the work area's view for a window inside it).
void restorePlace(QWidget* widget, QMdiSubWindow* sub)
{
    if (!placeKept(widget) || !QFileInfo::exists(placesFile()))
        return;
    QSettings places(placesFile(), QSettings::IniFormat);
    places.beginGroup(widget->objectName());
    for (QTreeView* list : widget->findChildren<QTreeView*>())
        if (const QVariant columns = places.value(QStringLiteral("columns-") + list->objectName()); columns.isValid())
            list->header()->restoreState(columns.toByteArray());
    for (MSFlexGrid* grid : widget->findChildren<MSFlexGrid*>())
        if (const QVariantList sorted = places.value(QStringLiteral("sorted-") + grid->objectName()).toList();
            grid->isSortable() && sorted.size() == 2)
            grid->sortBy(sorted[0].toInt(),
                         sorted[1].toInt() == Qt::DescendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder);
    if (!sub) {
        widget->restoreGeometry(places.value(QStringLiteral("geometry")).toByteArray());
        return;
    }
    if (QRect frame = places.value(QStringLiteral("frame")).toRect(); frame.isValid()) {
        frame.setSize(frame.size().expandedTo(sub->size()));
        const QRect view = sub->mdiArea()->viewport()->rect();
        if (!view.intersects(frame.adjusted(0, 0, 0, 24 - frame.height())))  // its title bar out of reach
            frame.moveTopLeft(QPoint(0, 0));
        sub->setGeometry(frame);
    }
    if (places.value(QStringLiteral("maximized")).toBool())
        sub->showMaximized();
}

const char* const kDefaultButton = "defaultButton";
const char* const kCancelButton = "cancelButton";

QAbstractButton* declared(const QWidget* widget, const char* role)
{
    return qobject_cast<QAbstractButton*>(widget->property(role).value<QObject*>());
}

// Plain-text boxes (message bodies, comments) pass Tab on like every other
// box; only the note window's rich text keeps it.
void passTabOn(QWidget* screen)
{
    for (QPlainTextEdit* box : screen->findChildren<QPlainTextEdit*>())
        box->setTabChangesFocus(true);
}

bool press(QAbstractButton* button)
{
    if (!button || !button->isEnabled() || !button->isVisible())
        return false;
    button->click();
    return true;
}
}  // namespace

void Keys::setDefaultButton(QWidget* area, QAbstractButton* button)
{
    area->setProperty(kDefaultButton, QVariant::fromValue<QObject*>(button));
}

void Keys::setCancelButton(QWidget* screen, QAbstractButton* button)
{
    screen->setProperty(kCancelButton, QVariant::fromValue<QObject*>(button));
}

void Keys::setDeleteButton(QWidget* list, QAbstractButton* button)
{
    auto* remove = new QAction(list);
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetShortcut);
    list->addAction(remove);
    QObject::connect(remove, &QAction::triggered, button, [button] { press(button); });
}

bool Keys::handle(QWidget* screen, const QKeyEvent* event)
{
    if (event->modifiers() & ~Qt::KeypadModifier)
        return false;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QWidget* focus = QApplication::focusWidget();
        if (!focus || !screen->isAncestorOf(focus))
            focus = screen;
        auto* button = qobject_cast<QAbstractButton*>(focus);
        if (button && button->isCheckable())
            button = nullptr;  // Enter on a check box is the screen's, not a toggle
        for (QWidget* w = focus; !button && w; w = w == screen ? nullptr : w->parentWidget())
            button = declared(w, kDefaultButton);
        return press(button);
    }
    if (event->key() != Qt::Key_Escape)
        return false;
    if (QAbstractButton* cancel = declared(screen, kCancelButton))
        return press(cancel);
    if (!screen->isWindow() || screen->windowType() == Qt::SplashScreen || screen->inherits("QMainWindow"))
        return false;
    Screens::close(screen);
    return true;
}

void finishUnload(QWidget* widget, FormHooks* hooks)
{
    if (hooks->m_unloaded)
        return;
    hooks->m_unloaded = true;
    rememberPlace(widget);
    auto& screens = registry();
    for (auto it = screens.begin(); it != screens.end(); ++it) {
        if (it->second == widget) {
            screens.erase(it);
            break;
        }
    }
    hooks->Form_Unload();
}

QWidget* Screens::find(std::type_index type)
{
    auto& screens = registry();
    auto it = screens.find(type);
    if (it == screens.end())
        return nullptr;
    if (!it->second) {
        screens.erase(it);
        return nullptr;
    }
    return it->second;
}

void Screens::remember(std::type_index type, QWidget* widget)
{
    registry()[type] = widget;
}

void Screens::setWorkArea(QMdiArea* a)
{
    area() = a;
}

QMdiArea* Screens::workArea()
{
    return area();
}

void Screens::present(QWidget* widget, bool child)
{
    passTabOn(widget);
    if (child && area()) {
        auto* sub = qobject_cast<QMdiSubWindow*>(widget->parentWidget());
        if (!sub) {
            // The screen's own frame hints (no border, no control box) go to its sub-window.
            sub = area()->addSubWindow(widget, widget->windowFlags() & ~Qt::WindowType_Mask);
            sub->setAttribute(Qt::WA_DeleteOnClose);
            // New child windows cascade from the work area's top-left corner,
            // over the logo rather than beside it.
            const int step = int(area()->subWindowList().size() - 1) % 8;
            sub->move(step * 24, step * 24);
            restorePlace(widget, sub);
        }
        widget->show();
        sub->show();
        area()->setActiveSubWindow(sub);
        return;
    }
    if (!widget->isVisible())
        restorePlace(widget, nullptr);
    widget->show();
    widget->raise();
    widget->activateWindow();
}

bool Screens::close(QWidget* widget)
{
    if (auto* sub = qobject_cast<QMdiSubWindow*>(widget->parentWidget()))
        sub->close();
    else
        widget->close();
    for (const auto& entry : registry())
        if (entry.second == widget)
            return false;
    return true;
}

void Screens::runModal(QWidget* widget, QWidget* owner)
{
    passTabOn(widget);
    QPointer<QWidget> guard(widget);
    if (owner)
        widget->setParent(owner, widget->windowFlags() | Qt::Dialog);
    widget->setWindowModality(Qt::ApplicationModal);
    widget->show();
    widget->raise();
    widget->activateWindow();
    QEventLoop loop;
    QObject::connect(widget, &QObject::destroyed, &loop, &QEventLoop::quit);
    if (guard && guard->isVisible())
        loop.exec(QEventLoop::DialogExec);
}

void Screens::unloadAll()
{
    std::vector<QPointer<QWidget>> open;
    for (auto& [type, widget] : registry())
        if (widget)
            open.push_back(widget);
    for (auto& widget : open)
        if (widget)
            close(widget);
    registry().clear();
}

bool Screens::waitForAnswer(QObject* context, std::function<void()> later)
{
    if (!QApplication::activeModalWidget())
        return false;
    constexpr int kAgainMs = 250;
    QTimer::singleShot(kAgainMs, context, std::move(later));
    return true;
}
