#include "kit/Screens.h"

#include <map>
#include <vector>

#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

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
}  // namespace

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
