#pragma once

#include <array>

#include "window/Screens.h"

class QFrame;
class QLabel;
class QPushButton;
class RichTextBox;

// The program's title, version and description, and a way to the system's
// own information tool.
class frmAbout : public Form {
    Q_OBJECT
public:
    frmAbout();
    void Form_Load() override;

    void cmdOK_Click();
    void cmdSysInfo_Click();
    void StartSysInfo();

    // Reads one value of the system settings into KeyVal. False, and KeyVal
    // empty, when the key or the value does not exist.
    static bool GetKeyValue(quint32 KeyRoot, const QString& KeyName, const QString& SubKeyRef, QString& KeyVal);

    QLabel* Image1;
    QLabel *lblTitle, *lblVersion;
    RichTextBox* txtDescription;
    std::array<QFrame*, 2> Line1;
    QPushButton *cmdOK, *cmdSysInfo;

private:
    void loadDescription();
};
