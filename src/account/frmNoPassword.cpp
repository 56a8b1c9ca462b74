#include "account/frmNoPassword.h"

#include <QEvent>
#include <QLabel>

#include "controls/Accessible.h"
#include "controls/Controls.h"
#include "controls/Twips.h"

frmNoPassword::frmNoPassword()
{
    setObjectName(QStringLiteral("frmNoPassword"));
    setWindowTitle(QStringLiteral("ERROR"));
    setWindowFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(twips(9330), twips(5550));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);
    setAutoFillBackground(true);

    QFont font(QStringLiteral("Maiandra GD"), 36, QFont::Bold);
    font.setStyleHint(QFont::SansSerif);
    auto make = [&](const char* name, const QString& text, const QRect& rect, const QColor& color) {
        QLabel* label = makeLabel(this, name, text, rect);
        label->setFont(font);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, color);
        label->setPalette(p);
        return label;
    };
    // The red line is drawn over the yellow one, a little to the right: a shadow.
    Label2 = make("Label2", QStringLiteral("NEED PASSWORD"), twipsRect(120, 120, 9015, 975), bgrColor(0x0000FFFF));
    Label1 = make("Label1", QStringLiteral("NEED PASSWORD"), twipsRect(240, 120, 9015, 975), bgrColor(0x000000FF));
    Label3 = make("Label3", QStringLiteral("ok"), twipsRect(240, 2880, 9015, 1335), bgrColor(0x000000FF));
    Label3->setCursor(Qt::PointingHandCursor);
    Label3->installEventFilter(this);
    Accessible::actAsButton(Label3, Label3->text());
}

void frmNoPassword::Form_Load()
{
    // Loading this screen is enough to show it.
    Screens::present(this, true);
}

bool frmNoPassword::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label3 && event->type() == QEvent::MouseButtonRelease) {
        Screens::unload<frmNoPassword>();
        return true;
    }
    return Form::eventFilter(watched, event);
}
