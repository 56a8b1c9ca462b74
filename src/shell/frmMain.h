#pragma once

#include <QMainWindow>

#include "store/SearchIndex.h"
#include "window/Screens.h"

class QAction;
class QLabel;
class QMdiArea;
class QTimer;
class asxGenericContainer;
class asxToolButton;
class NoteDesk;
class StoreCheck;
class DataVersionWatch;

// The main window: tool bar on the left, the address and note panels on the
// right, the work area in which the tools open, the menus and the clock.
// Every button and menu entry is one command of the table in frmMain.cpp.
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

    // A command by its name: the button of a panel ("cmdNote") or the
    // action behind a button or menu entry ("cmdNote", "mnuExit").
    asxToolButton* button(const char* name) const;
    QAction* command(const char* name) const;

    // Every command off but Exit and About: what a failed login leaves.
    void lockProgram();

protected:
    // The window regaining focus looks for another process's changes at once.
    void changeEvent(QEvent* event) override;

private:
    struct Command;

    void CheckPassFile();
    void LoadOrganizer();
    void LoadCalendar();
    void Timer1_Timer();
    void createPanels();
    void createCommands();
    void startSearchFill();
    void openSearch();
    void openHit(const SearchIndex::SearchHit& hit);

    asxGenericContainer* asxGenericContainer1;
    QWidget* AddressOption;
    asxGenericContainer* NoteOption;
    QLabel *lblTime, *lblDate;
    QTimer* Timer1;
    QMdiArea* m_workArea;
    NoteDesk* m_notes;
    StoreCheck* m_storeCheck = nullptr;
    class SearchFill* m_searchFill = nullptr;
    class SearchBox* m_searchBox = nullptr;
    DataVersionWatch* m_watch = nullptr;
    QList<QAction*> m_lockable;
    bool m_locked = false;
};
