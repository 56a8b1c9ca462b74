#include "window/Screens.h"

#include <map>
#include <vector>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

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
        }
        widget->show();
        sub->show();
        area()->setActiveSubWindow(sub);
        return;
    }
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
