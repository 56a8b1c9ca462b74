#include "window/LoadingProgress.h"

#include <QCloseEvent>
#include <QProgressBar>
#include <QPushButton>

#include "controls/Twips.h"

LoadingProgress::LoadingProgress(const QString& caption)
{
    setObjectName(QStringLiteral("LoadingProgress"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowModality(Qt::ApplicationModal);
    setWindowTitle(caption);
    setFixedSize(twips(5625), twips(900));

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(twips(120), twips(120), twips(5385), twips(255));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);

    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(twips(4305), twips(480), twips(1200), twips(345));
    connect(cmdCancel, &QPushButton::clicked, this, &LoadingProgress::cancel);
}

void LoadingProgress::setPercent(int percent)
{
    if (percent < 0) {
        ProgressBar1->setRange(0, 0);
    } else {
        ProgressBar1->setRange(0, 100);
        ProgressBar1->setValue(percent);
    }
}

void LoadingProgress::cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    hide();
    emit Cancelled();
}

void LoadingProgress::closeEvent(QCloseEvent* event)
{
    cancel();
    QWidget::closeEvent(event);
}
