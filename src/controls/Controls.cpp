#include "controls/Controls.h"

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(rect);
    return label;
}

QLineEdit* makeTextBox(QWidget* parent, const char* name, const QRect& rect, bool password)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(rect);
    if (password)
        box->setEchoMode(QLineEdit::Password);
    return box;
}

QPushButton* makeCommandButton(QWidget* parent, const char* name, const QString& caption, const QRect& rect)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(rect);
    return button;
}

QGroupBox* makeFrame(QWidget* parent, const char* name, const QString& caption, const QRect& rect)
{
    auto* frame = new QGroupBox(caption, parent);
    frame->setObjectName(QLatin1String(name));
    frame->setGeometry(rect);
    return frame;
}
