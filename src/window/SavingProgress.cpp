#include "window/SavingProgress.h"

#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>

#include "controls/Twips.h"

SavingProgress::SavingProgress(const QString& caption, QSize clientTwips, QSize barTwips)
{
    // No control box: the window goes only when its bar is full.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(caption);
    setFixedSize(twips(clientTwips.width()), twips(clientTwips.height()));

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(0, 0, twips(barTwips.width()), twips(barTwips.height()));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    // Ticks run from the load on; they are handled only when the caller's
    // handler has returned, so filling starts after the save.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1);
    connect(Timer1, &QTimer::timeout, this, &SavingProgress::Timer1_Timer);
    Timer1->start();
}

void SavingProgress::Timer1_Timer()
{
    ProgressBar1->setValue(ProgressBar1->value() + 1);
    if (ProgressBar1->value() == 100) {
        Timer1->stop();
        m_closingByItself = true;
        Screens::close(this);
    }
}

void SavingProgress::closeEvent(QCloseEvent* event)
{
    // The frame offers no close box; a close the user forces anyway waits for the bar.
    if (event->spontaneous() && !m_closingByItself) {
        event->ignore();
        return;
    }
    Form::closeEvent(event);
}

frmLoadSaving::frmLoadSaving()
    : SavingProgress(QStringLiteral("Save PLEASE WAIT ...."), QSize(6840, 345), QSize(6855, 375))
{
    setObjectName(QStringLiteral("frmLoadSaving"));
}

void frmLoadSaving::Form_Load()
{
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

frmSaving::frmSaving()
    : SavingProgress(QStringLiteral("Saving"), QSize(5625, 300), QSize(5655, 255))
{
    setObjectName(QStringLiteral("frmSaving"));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
}
