#include "controls/Buttons.h"

#include <QEnterEvent>
#include <QIcon>
#include <QMouseEvent>

namespace {
void paintBackground(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    palette.setColor(QPalette::Button, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

int shiftState(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0)
           | (modifiers & Qt::AltModifier ? 4 : 0);
}
}  // namespace

ButtonBase::ButtonBase(QWidget* parent)
    : QToolButton(parent)
{
    setMouseTracking(true);
    setAutoRaise(true);
    setFocusPolicy(Qt::TabFocus);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
}

void ButtonBase::setBackColor(const QColor& color)
{
    paintBackground(this, color);
}

void ButtonBase::setPicture(const QString& name)
{
    setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(name)));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
}

void ButtonBase::enterEvent(QEnterEvent* event)
{
    QToolButton::enterEvent(event);
    const QPoint p = event->position().toPoint();
    emit MouseMove(int(event->buttons()), shiftState(event->modifiers()), p.x(), p.y());
}

void ButtonBase::mouseMoveEvent(QMouseEvent* event)
{
    QToolButton::mouseMoveEvent(event);
    const QPoint p = event->position().toPoint();
    emit MouseMove(int(event->buttons()), shiftState(event->modifiers()), p.x(), p.y());
}

void ButtonBase::leaveEvent(QEvent* event)
{
    QToolButton::leaveEvent(event);
    emit MouseLeave();
}

asxGenericContainer::asxGenericContainer(QWidget* parent)
    : QFrame(parent)
{
}

void asxGenericContainer::setBackColor(const QColor& color)
{
    paintBackground(this, color);
}
