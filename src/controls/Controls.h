#pragma once

#include <QGroupBox>
#include <utility>

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRect>

// The face the screens are laid out for: a small sans serif of 8 points.
QFont screenFont();
// Smaller than this a caption is no longer read with ease.
constexpr double kSmallestPoints = 8;
// `font`, made smaller (down to kSmallestPoints) until `text` is no wider than `width` pixels.
QFont fittingFont(QFont font, const QString& text, int width);

// Screens are built control by control at fixed positions; each control is
// named, so that its objectName is the name the screen gives it.
// A caption wider than its box is drawn in a smaller face rather than cut.
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect);
void setFittingText(QLabel* label, const QString& text);
QLineEdit* makeTextBox(QWidget* parent, const char* name, const QRect& rect, bool password = false);
QPushButton* makeCommandButton(QWidget* parent, const char* name, const QString& caption, const QRect& rect);
QGroupBox* makeFrame(QWidget* parent, const char* name, const QString& caption, const QRect& rect);

// A button of the button family showing a caption.
template <class Button>
Button* makeCaptionButton(QWidget* parent, const char* name, const QString& caption, const QRect& rect)
{
    auto* button = new Button(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(caption);
    button->setGeometry(rect);
    return button;
}

// A button of the button family showing one of the program's icons.
template <class Button>
Button* makePictureButton(QWidget* parent, const char* name, const QRect& rect, const QString& picture)
{
    auto* button = new Button(parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(rect);
    button->setPicture(picture);
    button->setIconSize(QSize(rect.width() - 6, rect.height() - 6).boundedTo(QSize(32, 32)));
    button->setAutoRaise(false);
    return button;
}

// Any other control, named and placed; `args` come before the parent in its
// constructor (a frame's title, a label's text).
template <class Control, class... Args>
Control* makeControl(QWidget* parent, QAnyStringView name, const QRect& rect, Args&&... args)
{
    auto* control = new Control(std::forward<Args>(args)..., parent);
    control->setObjectName(name);
    control->setGeometry(rect);
    return control;
}
