#include "controls/ListView.h"

#include <QHeaderView>

#include "controls/Twips.h"

namespace {
constexpr int kKeyRole = Qt::UserRole + 1;
}

ListView::ListView(QWidget* parent)
    : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setColumnCount(0);
    setHeaderLabels({});
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        if (item)
            emit ItemClick(indexOfTopLevelItem(item));
    });
}

void ListView::addColumn(const QString& header, int widthTwips)
{
    const int column = columnCount();
    setColumnCount(column + 1);
    headerItem()->setText(column, header);
    setColumnWidth(column, twips(widthTwips));
}

int ListView::addItem(const QString& text, const QString& key)
{
    if (!key.isEmpty()) {
        for (int i = 0; i < topLevelItemCount(); ++i)
            if (topLevelItem(i)->data(0, kKeyRole).toString() == key)
                return -1;
    }
    auto* item = new QTreeWidgetItem(this);
    item->setText(0, text);
    item->setData(0, kKeyRole, key);
    return topLevelItemCount() - 1;
}

void ListView::setSubItem(int row, int n, const QString& text)
{
    if (QTreeWidgetItem* item = topLevelItem(row))
        item->setText(n, text);
}

QString ListView::itemText(int row, int column) const
{
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->text(column) : QString();
}

QString ListView::itemKey(int row) const
{
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->data(0, kKeyRole).toString() : QString();
}

void ListView::resizeColumnsToContents()
{
    for (int c = 0; c < columnCount(); ++c)
        resizeColumnToContents(c);
}
