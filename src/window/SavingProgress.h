#pragma once

#include "window/Screens.h"

class QProgressBar;
class QTimer;

// A small window whose bar fills by one step a millisecond tick and which
// closes itself when full: the confirmation shown after a record is saved.
class SavingProgress : public Form {
    Q_OBJECT
public:
    QProgressBar* ProgressBar1;
    QTimer* Timer1;
    void Timer1_Timer();

protected:
    SavingProgress(const QString& caption, QSize clientTwips, QSize barTwips);
    void closeEvent(QCloseEvent* event) override;

private:
    bool m_closingByItself = false;
};

// Shown after a contact or the e-mail settings are saved.
class frmLoadSaving : public SavingProgress {
    Q_OBJECT
public:
    frmLoadSaving();
    void Form_Load() override;
};

// Shown after an appointment is saved.
class frmSaving : public SavingProgress {
    Q_OBJECT
public:
    frmSaving();
};
