#include "controls/ListView.h"

#include <QHeaderView>

#include "controls/Twips.h"

namespace {
// Column widths follow this many rows around the ones in view, not all of them.
constexpr int kSizingSample = 20;
}  // namespace

ListView::ListView(QWidget* parent)
    : QTreeView(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setItemsExpandable(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setModel(&m_rows);
    header()->setResizeContentsPrecision(kSizingSample);
    header()->setStretchLastSection(true);
    // Unsorted until a heading is clicked: the rows in the order they came.
    header()->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);
    connect(this, &QTreeView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit ItemClick(index.row());
    });
}

void ListView::addColumn(const QString& header, int widthTwips)
{
    QStringList headers = m_rows.headers();
    headers << header;
    // Widths are kept across the change of columns.
    QList<int> widths;
    for (int c = 0; c < headers.size() - 1; ++c)
        widths << columnWidth(c);
    m_rows.setHeaders(headers);
    for (int c = 0; c < widths.size(); ++c)
        setColumnWidth(c, widths[c]);
    setColumnWidth(int(headers.size()) - 1, twips(widthTwips));
}

int ListView::addItem(const QString& text, const QString& key)
{
    return m_rows.addRow({text}, key);
}

void ListView::resizeColumnsToContents()
{
    for (int c = 0; c < columnCount(); ++c)
        resizeColumnToContents(c);
}

NameList::NameList(QWidget* parent)
    : QListView(parent)
{
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setModel(&m_rows);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { emit currentRowChanged(current.isValid() ? current.row() : -1); });
    connect(this, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit rowClicked(index.row());
    });
}

QList<int> ListView::selectedRowsFromLast() const
{
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    return rows;
}
