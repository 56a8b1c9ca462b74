#pragma once

#include <QMainWindow>

#include "kit/Screens.h"

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QTimer;
class ButtonBase;
class asxGenericContainer;
class asxToolButton;
class NoteDesk;
class StoreCheck;

// The main window: tool bar on the left, the address and note panels on the
// right, the work area in which the tools open, the menus and the clock.
class frmMain : public FormOf<QMainWindow> {
    Q_OBJECT
public:
    frmMain();
    void Form_Load() override;
    bool Form_QueryUnload() override;
    void Form_Unload() override;

    QMdiArea* mdiArea() const { return m_workArea; }

    // What the note commands keep between commands; it changes this
    // window's caption and shows the note panel through functions given here.
    NoteDesk& notes() const { return *m_notes; }

    // Left tool bar.
    asxGenericContainer* asxGenericContainer1;
    asxToolButton *cmdCalendar, *cmdNote, *cmdAddressBook, *cmdOrganizer, *cmdEmail, *cmdCheckEmail, *cmdCalculator,
        *cmdExit;
    QLabel *lblCalendar, *lblNote, *lblAddress, *lblOrganizer, *lblEmail, *lblCheckEmail, *lblCalculator, *lblExit;
    QLabel *lblTime, *lblDate;
    QTimer* Timer1;

    // Address panel.
    QWidget* AddressOption;
    QLabel* Label3;
    asxToolButton *cmdAddressNew, *cmdAddressSave, *cmdAddressClear, *cmdAddressPrint, *cmdAddressEdit,
        *cmdAddressSearch, *cmdAddressDelete, *cmdAddressExit;
    QLabel *lblAddressNew, *lblAddressSave, *lblAddressClear, *lblAddressPrint, *lblAddressEdit, *lblAddressSearch,
        *lblAddressDelete, *lblAddressExit;

    // Note panel.
    asxGenericContainer* NoteOption;
    QLabel *Label4, *Label2, *Label1;
    asxToolButton *cmdNew, *cmdOpen, *cmdSave, *cmdPrint, *cmdNoteExit;
    QLabel *lblNew, *lblOpen, *lblSave, *lblPrint, *lblNoteExit;
    asxToolButton *cmdSaveAs, *cmdUndo, *cmdCut, *cmdCopy, *cmdPaste, *cmdSelectAll, *cmdTime, *cmdDate, *cmdfind,
        *cmdHelp;

    // Menus.
    QMenu *mnuFile, *mnuProperties, *mnuAbout;
    QAction *mnuExit, *mnuChangePass, *sep1, *mnuChangeInfo, *mnuSyncSettings, *mnuAB;

    void cmdAddressBook_Click();
    void cmdNote_Click();
    void cmdOrganizer_Click();
    void cmdEmail_Click();
    void cmdCheckEmail_Click();
    void cmdCalculator_Click();
    void cmdCalendar_Click();
    void cmdExit_Click();
    void mnuChangePass_Click();
    void mnuChangeInfo_Click();
    void mnuAB_Click();
    void Timer1_Timer();

    void cmdAddressNew_Click();
    void cmdAddressSave_Click();
    void cmdAddressClear_Click();
    void cmdAddressPrint_Click();
    void cmdAddressEdit_Click();
    void cmdAddressSearch_Click();
    void cmdAddressDelete_Click();
    void cmdAddressExit_Click();

    // Note panel.
    void cmdNew_Click();
    void cmdOpen_Click();
    void cmdSave_Click();
    void cmdSaveAs_Click();
    void cmdPrint_Click();
    void cmdNoteExit_Click();
    void cmdUndo_Click();
    void cmdCut_Click();
    void cmdCopy_Click();
    void cmdPaste_Click();
    void cmdSelectAll_Click();
    void cmdTime_Click();
    void cmdDate_Click();
    void cmdfind_Click();
    void cmdHelp_Click();

public:
    // Menu entries for the account and every tool button off: what a failed login leaves.
    void lockProgram();

private:
    void CheckPassFile();
    void LoadOrganizer();
    void LoadCalendar();
    void createToolBar();
    void createAddressPanel();
    void createNotePanel();
    void createMenus();
    void connectHover(ButtonBase* button, QLabel* label, const QString& text);

    QMdiArea* m_workArea;
    NoteDesk* m_notes;
    StoreCheck* m_storeCheck = nullptr;
};
