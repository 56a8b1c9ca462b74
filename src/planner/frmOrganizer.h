#pragma once

#include <array>

#include "kit/Screens.h"
#include "store/Connection.h"
#include "store/Recordset.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class RichTextBox;
class MSFlexGrid;
class MonthView;

// The day planner: twelve month pages, each a month calendar beside a grid of
// half-hour slots, and a help page. A slot is written by clicking its row;
// Save stores the row clicked last as one appointment.
class frmOrganizer : public Form {
    Q_OBJECT
public:
    static constexpr int kPages = 12;
    template <class T>
    using PageArray = std::array<T*, kPages>;

    frmOrganizer();
    void Form_Load() override;
    void Form_Unload() override;
    bool isChildWindow() const override { return true; }

    void MonthView1_DateClick(int k);
    void txtMessage_Change(int k);
    void MSgridTime_Click(int k);
    void cmdSave_Click(int k);
    void cmdSearch_Click(int k);
    // The day on its month page (the first or last page for a day outside them).
    void showDay(QDate date);

    QTabWidget* SSTab1;
    PageArray<MSFlexGrid> MSgridTime;
    PageArray<QGroupBox> Frame1;
    PageArray<MonthView> MonthView1;
    PageArray<QLabel> Label1;
    PageArray<QPlainTextEdit> txtMessage;
    PageArray<QLabel> Label2;
    PageArray<QComboBox> cboTimeFinshed;
    PageArray<QPushButton> cmdSave;
    PageArray<QPushButton> cmdSearch;
    RichTextBox* txtHelp;

private:
    void buildMonthPage(int k);
    void openHelpDoc();
    void FlexGrid();
    void LoadDate();
    void LoadingTime();
    void LoadTimeFinished();
    void ClearTextBox(int k);
    void SavingAddress(int k);
    void LoadSearch(int k);

    Connection Con;
    Recordset rst;
};
