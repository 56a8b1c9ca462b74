#include "shell/frmLoadingPic.h"

#include <QIcon>
#include <QLabel>

#include "controls/Controls.h"
#include "controls/Twips.h"
#include "kit/AppInfo.h"

namespace {
const char* const kAuthorLine = "Your day, your people, your notes";
}

frmLoadingPic::frmLoadingPic()
{
    setObjectName(QStringLiteral("frmLoadingPic"));
    setWindowFlags(Qt::FramelessWindowHint);
    setFixedSize(twips(7485), twips(5910));
    setAccessibleName(AppInfo::kTitle);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, mainBlue());
    setPalette(palette);
    setAutoFillBackground(true);

    Image1 = makeControl<QLabel>(this, "Image1", twipsRect(1800, 360, 3840, 3360));
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setPixmap(QIcon(QStringLiteral(":/icons/app.svg")).pixmap(200, 200));

    QFont title(QStringLiteral("Rockwell"), 26, QFont::Bold);
    title.setPointSizeF(26.25);
    title.setStyleHint(QFont::Serif);
    struct Line {
        const char* text;
        QColor color;
        int left;
        int top;
    };
    const Line lines[] = {
        {"TESSALY 2002", Qt::red, 360, 3960},
        {"TESSALY 2002", Qt::yellow, 480, 3960},
        {kAuthorLine, Qt::red, 960, 4800},
    };
    for (int i = 0; i < 3; ++i) {
        QLabel* label =
            makeControl<QLabel>(this, QStringLiteral("Label1_%1").arg(i), QRect(), QLatin1String(lines[i].text));
        QFont font = title;
        if (i == 2)
            font.setPointSizeF(14);
        label->setFont(font);
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, lines[i].color);
        label->setPalette(p);
        label->move(twips(lines[i].left), twips(lines[i].top));
        label->adjustSize();
        Label1[std::size_t(i)] = label;
    }
}
