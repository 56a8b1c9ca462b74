#include "controls/Controls.h"

#include <QFontMetrics>

QFont screenFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPointSizeF(8.25);
    return font;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(rect);
    setFittingText(label, text);
    return label;
}

QFont fittingFont(QFont font, const QString& text, int width)
{
    while (QFontMetrics(font).horizontalAdvance(text) > width && font.pointSizeF() - 0.25 >= kSmallestPoints)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    return font;
}

void setFittingText(QLabel* label, const QString& text)
{
    label->setText(text);
    label->setFont(fittingFont(label->font(), text, label->contentsRect().width()));
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
