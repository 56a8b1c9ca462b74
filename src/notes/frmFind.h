#pragma once

#include "window/Screens.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Find and replace in the active note. It stays on top of everything but
// never takes the activation when it appears, so the user keeps typing in
// the note. The caption of cmdfind is the search state: "&Find" starts at
// the beginning of the note, "&Find Next" goes on after the selection.
class frmFind : public Form {
    Q_OBJECT
public:
    frmFind();
    void Form_Load() override;

    void Check1_Click();
    void cmdfind_Click();
    void Replace_Click();
    void cmdCancel_Click();

    QLabel *Label1, *Label2;
    QLineEdit *Text1, *Text2;
    QCheckBox* Check1;
    QPushButton *cmdfind, *Replace, *cmdCancel;

private:
    int FindOptions = 0;
};
