#pragma once

#include <QAbstractItemView>
#include <QTest>

#include "controls/MSFlexGrid.h"
#include "controls/MonthView.h"

// What a person does with the planner's controls: click a grid row, click a
// day of the month a calendar shows.

inline void clickGridCell(MSFlexGrid* grid, int row, int col)
{
    QTableWidgetItem* cell = grid->item(row, col);
    QVERIFY2(cell, "no such cell");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(cell).center());
}

inline void clickDay(MonthView* calendar, QDate date)
{
    QVERIFY2(calendar->isVisible(), "the calendar is hidden");
    calendar->setCurrentPage(date.year(), date.month());
    auto* view = calendar->findChild<QAbstractItemView*>(QStringLiteral("qt_calendar_calendarview"));
    QVERIFY(view);
    QAbstractItemModel* model = view->model();
    // Days of the previous month come before the first "1".
    bool inMonth = false;
    for (int r = 0; r < model->rowCount(); ++r) {
        for (int c = 0; c < model->columnCount(); ++c) {
            const QModelIndex index = model->index(r, c);
            bool number = false;
            const int day = index.data().toInt(&number);
            if (!number)
                continue;
            if (day == 1)
                inMonth = true;
            if (inMonth && day == date.day()) {
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
                return;
            }
        }
    }
    QFAIL("day not shown");
}
