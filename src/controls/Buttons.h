#pragma once

#include <QFrame>
#include <QToolButton>

// The button family: a picture or a caption on a coloured face. The three
// kinds behave alike but stay distinct types, because locking the main
// window disables only the tool buttons.
class ButtonBase : public QToolButton {
    Q_OBJECT
public:
    explicit ButtonBase(QWidget* parent = nullptr);
    void setBackColor(const QColor& color);
    // An icon from the program's resources, e.g. "calendar" for :/icons/calendar.svg.
    void setPicture(const QString& name);

signals:
    // The pointer moved over the button (button state, shift state, x, y).
    void MouseMove(int button, int shift, int x, int y);
    void MouseLeave();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
};

class asxToolButton : public ButtonBase {
    Q_OBJECT
public:
    using ButtonBase::ButtonBase;
};

class asxPowerButton : public ButtonBase {
    Q_OBJECT
public:
    using ButtonBase::ButtonBase;
};

class FlatBttn : public ButtonBase {
    Q_OBJECT
public:
    using ButtonBase::ButtonBase;
};

// A coloured container whose buttons and labels move and hide with it.
class asxGenericContainer : public QFrame {
    Q_OBJECT
public:
    explicit asxGenericContainer(QWidget* parent = nullptr);
    void setBackColor(const QColor& color);
};
