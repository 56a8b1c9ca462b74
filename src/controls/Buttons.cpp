#include "controls/Buttons.h"

#include <QEnterEvent>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>

#include "controls/Accessible.h"

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
    Accessible::install();
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

void ButtonBase::paintEvent(QPaintEvent* event)
{
    QToolButton::paintEvent(event);
    if (!hasFocus())
        return;
    // The style's own focus frame vanishes on the coloured faces: a dotted
    // line in black or white, whichever stands out from the face.
    QPainter painter(this);
    const QColor face = palette().color(QPalette::Button);
    painter.setPen(QPen(face.lightness() < 128 ? Qt::white : Qt::black, 1, Qt::DotLine));
    painter.drawRect(rect().adjusted(2, 2, -3, -3));
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
