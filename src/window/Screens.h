#pragma once

#include <functional>
#include <typeindex>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QWidget>

class QAbstractButton;
class QMdiArea;

// The keyboard, the same on every screen. Tab walks the controls in the
// order they were made, unless the screen sets its own (setTabOrder). Enter
// presses the focused push or tool button, else the default button of the
// innermost area around the focus that declares one; a control that takes
// Enter itself (a multi-line box) keeps it. Escape presses the screen's
// cancel button, or closes a window of its own (not the main window) that
// declares none.
namespace Keys {
// `area` is the screen itself, a frame on it, or a single box.
void setDefaultButton(QWidget* area, QAbstractButton* button);
void setCancelButton(QWidget* screen, QAbstractButton* button);
// Delete in `list` presses `button`, the screen's own way of removing what is chosen there.
void setDeleteButton(QWidget* list, QAbstractButton* button);
// What a screen does with a key its focused control left alone; true when taken.
bool handle(QWidget* screen, const QKeyEvent* event);
}  // namespace Keys

// What every screen has: its load and unload handlers, and whether it opens
// inside the main window's work area.
class FormHooks {
public:
    virtual ~FormHooks() = default;
    virtual void Form_Load() {}
    virtual void Form_Unload() {}
    // Asked before a window closes; false keeps it open.
    virtual bool Form_QueryUnload() { return true; }
    virtual bool isChildWindow() const { return false; }

private:
    friend void finishUnload(QWidget*, FormHooks*);
    bool m_unloaded = false;
};

// The one place a screen leaves: runs its unload handler once and forgets
// the instance, so the next use makes a fresh screen.
void finishUnload(QWidget* widget, FormHooks* hooks);

// A screen built on a Qt window class. Closing it, by code or by its frame,
// runs the unload handler and destroys it.
template <class Base>
class FormOf : public Base, public FormHooks {
public:
    explicit FormOf(QWidget* parent = nullptr)
        : Base(parent)
    {
        this->setAttribute(Qt::WA_DeleteOnClose);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (!Keys::handle(this, event))
            Base::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override
    {
        if (!Form_QueryUnload()) {
            event->ignore();
            return;
        }
        Base::closeEvent(event);
        if (event->isAccepted())
            finishUnload(this, this);
    }
};

using Form = FormOf<QWidget>;

// The application-wide instances: each screen type exists at most once.
namespace Screens {
QWidget* find(std::type_index type);
void remember(std::type_index type, QWidget* widget);

// Where child screens open; the main window registers its work area.
void setWorkArea(QMdiArea* area);
QMdiArea* workArea();

// Makes a loaded screen visible: child screens inside the work area, the
// others as windows of their own, brought to the front.
void present(QWidget* widget, bool child);
// Closes a screen the way its frame would. False when it refused to close.
bool close(QWidget* widget);
// Shows a screen modal (owned by `owner` when given) and returns when it has closed.
void runModal(QWidget* widget, QWidget* owner);
// Closes every screen; tests start from nothing.
void unloadAll();
// While a question or dialog is open, whatever a screen asks about stays as
// it was: `later` is run again once none is (true), or not at all (false).
bool waitForAnswer(QObject* context, std::function<void()> later);
}  // namespace Screens

namespace Screens {

template <class T>
bool isLoaded()
{
    return Screens::find(typeid(T)) != nullptr;
}

// Creates the screen and runs its load handler, once; later calls return it.
template <class T>
T* load()
{
    if (QWidget* existing = Screens::find(typeid(T)))
        return static_cast<T*>(existing);
    T* screen = new T;
    Screens::remember(typeid(T), screen);
    screen->Form_Load();
    // The load handler may already have closed the screen again.
    return static_cast<T*>(Screens::find(typeid(T)));
}

template <class T>
T* show()
{
    T* screen = load<T>();
    if (screen)
        Screens::present(screen, screen->isChildWindow());
    return screen;
}

template <class T>
void showModal(QWidget* owner = nullptr)
{
    if (T* screen = load<T>())
        Screens::runModal(screen, owner);
}

// Closes the screen and runs its unload handler; nothing when it is not loaded.
template <class T>
void unload()
{
    if (QWidget* screen = Screens::find(typeid(T)))
        Screens::close(screen);
}

}  // namespace Screens
