#include "controls/Controls.h"

#include <QFontMetrics>

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(rect);
    setFittingText(label, text);
    return label;
}

void setFittingText(QLabel* label, const QString& text)
{
    label->setText(text);
    QFont font = label->font();
    while (QFontMetrics(font).horizontalAdvance(text) > label->contentsRect().width() && font.pointSizeF() > 6)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    label->setFont(font);
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
