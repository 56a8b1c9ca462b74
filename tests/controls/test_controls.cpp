#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include "controls/Accessible.h"

#include "controls/Buttons.h"
#include "controls/ListView.h"
#include "controls/MSFlexGrid.h"
#include "controls/MonthView.h"
#include "store/Connection.h"
#include "support/Fixture.h"

// What the screens rely on from the month calendar, the report list and the
// button family.
class TestControls : public QObject {
    Q_OBJECT

private slots:
    // Paging changes the month shown, never the selected date; a click is
    // reported with its day already selected.
    void monthViewPagesAndReportsClicks()
    {
        MonthView view;
        view.setValue(QDate(2026, 12, 31));
        QCOMPARE(view.Value(), QDate(2026, 12, 31));
        QCOMPARE(view.monthShown(), 12);
        view.showNextMonth();
        QCOMPARE(view.monthShown(), 1);
        QCOMPARE(view.yearShown(), 2027);
        QCOMPARE(view.Value(), QDate(2026, 12, 31));
        QDate selectedWhenReported;
        connect(&view, &MonthView::DateClick, &view, [&](QDate) { selectedWhenReported = view.Value(); });
        QSignalSpy spy(&view, &MonthView::DateClick);
        emit view.clicked(QDate(2027, 1, 17));
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0][0].toDate(), QDate(2027, 1, 17));
        QCOMPARE(selectedWhenReported, QDate(2027, 1, 17));
    }

    void listViewRowsColumnsAndKeys()
    {
        ListView list;
        list.addColumn(QStringLiteral("From"), 1500);
        list.addColumn(QStringLiteral("Subject"), 3000);
        QCOMPARE(list.columnCount(), 2);
        QCOMPARE(list.headerText(1), QStringLiteral("Subject"));
        QCOMPARE(list.columnWidth(1), 200);

        QCOMPARE(list.addItem(QStringLiteral("anna@example.org"), QStringLiteral("<id1@x>")), 0);
        list.setSubItem(0, 1, QStringLiteral("Hello"));
        QCOMPARE(list.addItem(QStringLiteral("bert@example.org"), QStringLiteral("<id1@x>")), -1);
        QCOMPARE(list.addItem(QStringLiteral("no key")), 1);
        QCOMPARE(list.addItem(QStringLiteral("no key either")), 2);
        QCOMPARE(list.itemCount(), 3);
        QCOMPARE(list.itemText(0, 1), QStringLiteral("Hello"));
        QCOMPARE(list.itemKey(0), QStringLiteral("<id1@x>"));
        QCOMPARE(list.itemText(7), QString());

        QSignalSpy clicks(&list, &ListView::ItemClick);
        emit list.clicked(list.topLevelItem(2));
        QCOMPARE(clicks.size(), 1);
        QCOMPARE(clicks[0][0].toInt(), 2);

        list.clearItems();
        QCOMPARE(list.itemCount(), 0);
        QCOMPARE(list.addItem(QStringLiteral("again"), QStringLiteral("<id1@x>")), 0);
    }

    // Query rows come a page at a time, each once, in table order, numbered
    // when asked, after the rows added before and before those added after;
    // a grid cut short lets the rest of the query go.
    void queryRowsAreReadAsWanted()
    {
        AppFixture fx;
        fx.makeDataFolder();
        Connection con;
        con.Open(fx.dbPath());
        QString sql = QStringLiteral("INSERT INTO tblAddress (FirstName, LastName) VALUES ('first', 'x')");
        for (int i = 0; i < 600; ++i)
            sql += QStringLiteral(", ('n%1', '%2')").arg(i).arg(i % 2 ? QStringLiteral("odd") : QStringLiteral("even"));
        Db::exec(fx.dbPath(), sql);
        const QStringList columns = {QStringLiteral("FirstName"), QStringLiteral("LastName")};

        ListView list;
        list.addItem(QStringLiteral("before"));
        list.addQuery(
            QueryPages(con, QStringLiteral("tblAddress"), columns, QStringLiteral("LastName"), QStringLiteral("ODD")));
        QCOMPARE(list.itemCount(), 301);
        QVERIFY(list.model()->rowCount() < 301);
        QCOMPARE(list.addItem(QStringLiteral("after")), 301);
        QCOMPARE(list.itemText(300) + list.itemText(300, 1), QStringLiteral("n599odd"));
        for (int row = 1; row <= 300; ++row)
            QCOMPARE(list.itemText(row), QStringLiteral("n%1").arg(2 * row - 1));

        MSFlexGrid grid;
        grid.setCols(3);
        grid.setRows(1);
        grid.addNumberedQuery(QueryPages(con, QStringLiteral("tblAddress"), columns));
        QCOMPARE(grid.Rows(), 602);
        QCOMPARE(grid.TextMatrix(601, 0) + grid.TextMatrix(601, 1), QStringLiteral("601n599"));
        grid.setRow(301);
        grid.setCellBackColor(Qt::red);
        grid.setRows(300);
        grid.setRows(302);
        QCOMPARE(grid.TextMatrix(299, 0) + '|' + grid.TextMatrix(300, 1), QStringLiteral("299|"));
        QCOMPARE(grid.cellBackColor(301, 1), QColor(Qt::white));

        MSFlexGrid picker;  // its heading sorts what is below it, in the store
        picker.resize(600, 300);
        picker.setCols(3);
        picker.setRows(1);
        picker.setSortable(true);
        picker.setTextMatrix(0, 1, QStringLiteral("First"));
        picker.addNumberedQuery(QueryPages(con, QStringLiteral("tblAddress"), columns));
        for (int click = 0; click < 2; ++click)
            QTest::mouseClick(picker.viewport(), Qt::LeftButton, {},
                              picker.visualRect(picker.model()->index(0, 1)).center());
        QVERIFY(picker.model()->rowCount() < 602);
        QCOMPARE(picker.shownText(0, 1) + '|' + picker.TextMatrix(0, 1) + '|' + picker.TextMatrix(1, 0)
                     + picker.TextMatrix(1, 1) + '|' + picker.TextMatrix(601, 1),
                 QStringLiteral("First \u25BC|First|1n99|first"));
        picker.setRows(4);  // rows of its own are sorted here, under the heading
        for (int row = 1; row < 4; ++row)
            picker.setTextMatrix(row, 1, QString(QChar(u'd' - row)));
        picker.sortBy(1, Qt::AscendingOrder);
        QCOMPARE(picker.TextMatrix(0, 1) + picker.TextMatrix(1, 1) + picker.TextMatrix(3, 1),
                 QStringLiteral("Firstac"));
    }

    // A heading sorts rows added by code here, as values where the column
    // holds them, ties in the order they came; chosen rows stay chosen and
    // a row added later takes its place. One query alone is sorted by the
    // store, a page at a time, ties across pages included.
    void listsSortByTheirHeadings()
    {
        ListView list;
        for (const char* column : {"Key", "Date", "Size", "At"})
            list.addColumn(QLatin1String(column), 900);
        list.setSortAs(1, RowsModel::SortAs::Date);
        list.setSortAs(2, RowsModel::SortAs::Number);
        list.setSortKey(
            3, [](const QString& at) { return qint64(QTime::fromString(at, "h:mm AP").msecsSinceStartOfDay()); });
        const char* const rows[][4] = {{"a", "Tue, 8 Dec 2026 09:00:00 +0000", "10", "9:30 AM"},
                                       {"b", "no date", "9", "10:00 AM"},
                                       {"c", "8 Dec 2026 10:00:00 +0100", "100", "12:00 PM"},
                                       {"d", "Wed, 9 Dec 2026 08:00:00 +0000", "9", "9:00 PM"}};
        for (const auto& texts : rows) {
            const int row = list.addItem(QLatin1String(texts[0]), QLatin1String(texts[0]));
            for (int c = 1; c < 4; ++c)
                list.setSubItem(row, c, QLatin1String(texts[c]));
        }
        const auto order = [&list] {
            QString keys;
            for (int row = 0; row < list.itemCount(); ++row)
                keys += list.itemKey(row);
            return keys;
        };
        list.selectionModel()->select(list.topLevelItem(1), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        list.selectionModel()->setCurrentIndex(list.topLevelItem(3), QItemSelectionModel::NoUpdate);
        list.sortByColumn(1, Qt::DescendingOrder);
        QCOMPARE(order(), QStringLiteral("dacb"));
        QCOMPARE(list.itemKey(list.currentIndex().row()) + list.itemKey(list.selectedRowsFromLast().value(0)),
                 QStringLiteral("db"));
        list.sortByColumn(2, Qt::AscendingOrder);
        QCOMPARE(order(), QStringLiteral("bdac"));
        list.sortByColumn(3, Qt::DescendingOrder);
        QCOMPARE(order(), QStringLiteral("dcba"));
        list.sortByColumn(0, Qt::DescendingOrder);
        list.setSubItem(list.addItem(QStringLiteral("e"), QStringLiteral("e")), 1,
                        QStringLiteral("Thu, 10 Dec 2026 08:00:00 +0000"));
        QTRY_COMPARE(order(), QStringLiteral("edcba"));
        list.sortByColumn(-1, Qt::AscendingOrder);
        QCOMPARE(order(), QStringLiteral("abcde"));

        AppFixture fx;
        fx.makeDataFolder();
        Connection con;
        con.Open(fx.dbPath());
        QList<QStringList> stored = {{"x", "", ""}};
        QString sql = QStringLiteral("INSERT INTO tblAddress (FirstName, LastName, PostCode) VALUES ('x', '', '')");
        for (int i = 0; i < 700; ++i) {
            stored.append({QStringLiteral("n%1").arg(i), i % 3 ? "Odd" : "even", QString::number(i * 7 % 101)});
            sql += QStringLiteral(", ('%1', '%2', '%3')").arg(stored.back()[0], stored.back()[1], stored.back()[2]);
        }
        Db::exec(fx.dbPath(), sql);
        ListView found;
        for (const char* column : {"FirstName", "LastName", "PostCode"})
            found.addColumn(QLatin1String(column), 900);
        found.setSortAs(2, RowsModel::SortAs::Number);
        found.addQuery(
            QueryPages(con, QStringLiteral("tblAddress"),
                       {QStringLiteral("FirstName"), QStringLiteral("LastName"), QStringLiteral("PostCode")}));
        for (const auto& sorting : {std::pair{1, Qt::AscendingOrder}, {2, Qt::DescendingOrder}}) {
            const int column = sorting.first;
            const Qt::SortOrder way = sorting.second;
            found.sortByColumn(column, way);
            QVERIFY(found.model()->rowCount() < 701);  // the rest is read as it is scrolled to
            QList<QStringList> expected = stored;
            std::stable_sort(expected.begin(), expected.end(), [&](const QStringList& a, const QStringList& b) {
                const int c = column == 2 ? int(a[2].toInt() > b[2].toInt()) - int(a[2].toInt() < b[2].toInt())
                                          : a[1].compare(b[1], Qt::CaseInsensitive);
                return way == Qt::AscendingOrder ? c < 0 : c > 0;
            });
            QCOMPARE(found.itemCount(), 701);
            for (int row = 0; row < 701; ++row)
                QCOMPARE(found.itemText(row), expected[row][0]);
        }
        // A second search adds up: both are sorted together, here.
        found.addQuery(
            QueryPages(con, QStringLiteral("tblAddress"),
                       {QStringLiteral("FirstName"), QStringLiteral("LastName"), QStringLiteral("PostCode")}));
        for (int row = 1; row < found.itemCount(); ++row)
            QVERIFY(found.itemText(row - 1, 2).toInt() >= found.itemText(row, 2).toInt());
    }

    // A screen reader reads every day of a month page as its whole date, in
    // order under the weekday names; pressing a day clicks it.
    void monthViewDaysReadAsDates()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        for (const QDate& date : {QDate(2026, 12, 7), QDate(2021, 2, 1), QDate(2015, 2, 28), QDate(2024, 9, 30)}) {
            MonthView view;
            view.setValue(date);
            view.show();
            QAccessibleInterface* days = QAccessible::queryAccessibleInterface(view.findChild<QTableView*>());
            QCOMPARE(days->text(QAccessible::Name), date.toString(QStringLiteral("MMMM yyyy")));
            QStringList weekdays;
            QList<QDate> dates;
            QAccessibleInterface* pressed = nullptr;
            for (int i = 0; i < days->childCount(); ++i) {
                QAccessibleInterface* cell = days->child(i);
                if (!cell)
                    continue;
                QCOMPARE(days->indexOfChild(cell), i);
                if (cell->role() == QAccessible::ColumnHeader)
                    weekdays << cell->text(QAccessible::Name);
                else
                    dates << QLocale().toDate(cell->text(QAccessible::Name), QLocale::LongFormat);
                if (dates.value(dates.size() - 1) == date.addDays(3))
                    pressed = cell;
            }
            QCOMPARE(weekdays.join(' '), QStringLiteral("Monday Tuesday Wednesday Thursday Friday Saturday Sunday"));
            QCOMPARE(dates.size(), 42);
            const QDate first(date.year(), date.month(), 1);
            QVERIFY(dates[0] < first && first <= dates[7]);
            for (int k = 0; k < 42; ++k)
                QCOMPARE(dates[k], dates[0].addDays(k));
            QSignalSpy clicks(&view, &MonthView::DateClick);
            pressed->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            QTRY_COMPARE(clicks.size(), 1);
            QCOMPARE(view.Value(), date.addDays(3));
        }
    }

    // What a screen reader hears of the buttons and of a picture that takes
    // clicks: its caption without the mnemonic (or the name code gave it), its
    // key, a button role; pressing a button clicks it.
    void buttonsReadAsTheirCaptions()
    {
        QWidget panel;
        auto* picture = new QLabel(&panel);
        Accessible::actAsButton(picture, QStringLiteral("Logo"));
        auto* named = new asxToolButton(&panel);
        named->setAccessibleName(QStringLiteral("Calendar"));  // a picture button: no caption of its own
        const struct {
            QWidget* control;
            const char *caption, *name, *key, *shortcut = "";
        } rows[] = {
            {new asxToolButton(&panel), "&Save", "Save", "Alt+S"},
            {new FlatBttn(&panel), "Cut && paste", "Cut & paste", ""},
            {new asxPowerButton(&panel), "Trailing&", "Trailing&", ""},
            {new asxToolButton(&panel), "&Print", "Print", "Ctrl+P", "Ctrl+P"},
            {named, "", "Calendar", ""},
            {picture, nullptr, "Logo", ""},
        };
        panel.show();
        for (const auto& row : rows) {
            QAccessibleInterface* read = QAccessible::queryAccessibleInterface(row.control);
            QCOMPARE(read->role(), QAccessible::Button);
            auto* button = qobject_cast<QAbstractButton*>(row.control);
            if (!button) {
                QCOMPARE(read->text(QAccessible::Name), QLatin1String(row.name));
                continue;
            }
            button->setText(QLatin1String(row.caption));
            button->setShortcut(QKeySequence(QLatin1String(row.shortcut)));
            QCOMPARE(read->text(QAccessible::Name) + '|' + read->text(QAccessible::Accelerator),
                     QLatin1String(row.name) + '|' + QLatin1String(row.key));
            QSignalSpy clicks(button, &QAbstractButton::clicked);
            read->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            QTRY_COMPARE(clicks.size(), 1);
        }
    }

    // The fixed cells name the grid's rows and columns; an empty cell is read by where it stands.
    void gridCellsReadWithTheirHeadings()
    {
        MSFlexGrid grid;
        grid.setCols(3);
        grid.setRows(3);
        const char* cells[3][3] = {{"Time", "Mon", "Tue"}, {"7:30", "Meeting", ""}, {"", "", ""}};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                grid.setTextMatrix(r, c, QLatin1String(cells[r][c]));
        QAbstractItemModel* model = grid.model();
        const struct {
            int row, col;
            const char* spoken;
        } rows[] = {{1, 1, "Meeting"}, {1, 2, "7:30, Tue"}, {2, 1, "Mon"}, {0, 1, "Mon"}, {2, 0, ""}};
        for (const auto& row : rows)
            QCOMPARE(model->index(row.row, row.col).data(Qt::AccessibleTextRole).toString(), QLatin1String(row.spoken));
        QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Tue"));
        QCOMPARE(model->headerData(1, Qt::Vertical).toString(), QStringLiteral("7:30"));
        grid.setFixedCols(0);
        QCOMPARE(model->headerData(1, Qt::Vertical), QVariant());
        QCOMPARE(model->index(1, 2).data(Qt::AccessibleTextRole).toString(), QStringLiteral("Tue"));
    }

    // The focused button wears a dotted frame that stands out from its face.
    void focusFrameShowsOnEveryFace()
    {
        const std::pair<QColor, QColor> rows[] = {{QColor(0, 0, 128), Qt::white}, {QColor(255, 255, 128), Qt::black}};
        for (const auto& [face, frame] : rows) {
            asxToolButton button;
            button.setText(QStringLiteral("OK"));
            button.resize(60, 30);
            button.setBackColor(face);
            auto framed = [&] {
                const QImage image = button.grab().toImage();
                int dots = 0;
                for (int y = 2; y < 28; ++y)
                    dots += image.pixelColor(2, y) == frame;
                return dots;
            };
            button.show();
            button.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&button));
            button.clearFocus();
            QCOMPARE(framed(), 0);
            button.setFocus();
            QTRY_VERIFY(button.hasFocus());
            QVERIFY(framed() > 5);
        }
    }
};

QTEST_MAIN(TestControls)
#include "test_controls.moc"
