#include "controls/RowsModel.h"

#include <algorithm>
#include <limits>
#include <numeric>

#include <QCollator>
#include <QDateTime>

#include "store/StoreError.h"

namespace {
// A page: a screenful or two of any list, and a query of its own.
constexpr int kPage = 256;

// What a date in a list is sorted by; no date is older than any.
qint64 dateValue(const QString& text)
{
    QDateTime when = QDateTime::fromString(text.trimmed(), Qt::RFC2822Date);
    if (!when.isValid())
        when = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    return when.isValid() ? when.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}
}  // namespace

void RowsModel::setHeaders(const QStringList& headers)
{
    beginResetModel();
    m_headers = headers;
    endResetModel();
}

void RowsModel::append(QStringList texts, const QString& key)
{
    m_rows.push_back({std::move(texts), key, m_arrivals++});
}

int RowsModel::addRow(const QStringList& texts, const QString& key)
{
    if (!key.isEmpty() && m_keySet.contains(key))
        return -1;
    readMore(m_unread);
    m_addedRows = true;
    m_sortedInStore = false;
    const int row = int(m_rows.size());
    beginInsertRows(QModelIndex(), row, row);
    append(texts, key);
    if (!key.isEmpty())
        m_keySet.insert(key);
    endInsertRows();
    sortLater();
    return row;
}

void RowsModel::setText(int row, int column, const QString& text)
{
    if (row < 0 || row >= total() || column < 0)
        return;
    readMore(row + 1 - int(m_rows.size()));
    QStringList& texts = m_rows[std::size_t(row)].texts;
    while (texts.size() <= column)
        texts << QString();
    texts[column] = text;
    emit dataChanged(index(row, column), index(row, column));
    if (column == m_sortColumn)
        sortLater();
}

void RowsModel::addQuery(QueryPages pages, bool numbered)
{
    if (pages.atEnd())
        return;
    m_unread += pages.count();
    const int count = pages.count();
    m_added.push_back({pages, count, numbered});
    m_queries.push_back({std::move(pages), count, numbered});
    m_sortedInStore = false;  // what is listed now is to be sorted again
    if (m_sortColumn >= 0)
        return sort(m_sortColumn, m_sortOrder);
    // The view asks for rows only when it shows; code may ask sooner.
    readMore(kPage);
}

void RowsModel::setTotal(int rows)
{
    rows = std::max(rows, 0);
    // The rows kept are read first; the rest of the queries is let go.
    readMore(rows - int(m_rows.size()));
    m_queries.clear();
    m_added.clear();
    m_addedRows = rows > m_pinned;
    m_sortedInStore = false;
    m_unread = 0;
    const int have = int(m_rows.size());
    if (rows > have) {
        beginInsertRows(QModelIndex(), have, rows - 1);
        while (int(m_rows.size()) < rows)
            append({});
        endInsertRows();
    } else if (rows < have) {
        beginRemoveRows(QModelIndex(), rows, have - 1);
        for (std::size_t i = std::size_t(rows); i < m_rows.size(); ++i)
            m_keySet.remove(m_rows[i].key);
        m_rows.resize(std::size_t(rows));
        endRemoveRows();
    }
}

void RowsModel::removeRow(int row)
{
    if (row < 0 || row >= total())
        return;
    readMore(row + 1 - int(m_rows.size()));
    beginRemoveRows(QModelIndex(), row, row);
    m_keySet.remove(m_rows[std::size_t(row)].key);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void RowsModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_keySet.clear();
    m_queries.clear();
    m_added.clear();
    m_addedRows = false;
    m_sortedInStore = false;
    m_unread = 0;
    endResetModel();
}

QString RowsModel::text(int row, int column) const
{
    if (row < 0 || row >= total())
        return QString();
    const_cast<RowsModel*>(this)->sortIfDue();
    const_cast<RowsModel*>(this)->readMore(row + 1 - int(m_rows.size()));
    return row < int(m_rows.size()) ? m_rows[std::size_t(row)].texts.value(column) : QString();
}

QString RowsModel::key(int row) const
{
    const_cast<RowsModel*>(this)->sortIfDue();
    return row >= 0 && row < int(m_rows.size()) ? m_rows[std::size_t(row)].key : QString();
}

void RowsModel::readMore(int rows)
{
    std::vector<QStringList> read;
    while (int(read.size()) < rows && !m_queries.empty()) {
        Pending& query = m_queries.front();
        const std::size_t before = read.size();
        try {
            query.pages.read(std::max(kPage, rows - int(read.size())), read);
        } catch (const StoreError&) {
            // The file went away under the list (its screen is closing): the
            // rows not read yet are not there to show.
            query.pages = QueryPages();
        }
        const int got = int(read.size() - before);
        if (query.numbered)
            for (std::size_t i = before; i < read.size(); ++i)
                read[i].prepend(QString::number(++query.number));
        query.left -= got;
        m_unread -= got;
        if (query.pages.atEnd()) {
            // Rows deleted since they were counted are simply not there.
            m_unread -= query.left;
            m_queries.pop_front();
        }
    }
    if (read.empty())
        return;
    const int first = int(m_rows.size());
    beginInsertRows(QModelIndex(), first, first + int(read.size()) - 1);
    for (QStringList& row : read)
        append(std::move(row));
    endInsertRows();
    if (!m_sortedInStore)
        sortLater();
}

void RowsModel::sort(int column, Qt::SortOrder order)
{
    // The view may ask twice for one click; the store's order stands.
    if (m_sortedInStore && column == m_sortColumn && order == m_sortOrder)
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    const SortAs as = m_sortAs.value(column, SortAs::Text);
    // One query and nothing else: the store reads it in the order asked,
    // a page at a time as before, however many rows it has.
    m_sortedInStore = m_added.size() == 1 && !m_addedRows && as != SortAs::Date && !m_sortKeys.contains(column);
    if (!m_sortedInStore)
        return sortHere();
    Pending query = m_added.front();
    const int numbering = query.numbered ? 1 : 0;
    query.pages.orderBy(column - numbering, order == Qt::DescendingOrder, as == SortAs::Number);
    beginResetModel();
    m_rows.resize(std::min(m_rows.size(), std::size_t(m_pinned)));
    m_queries.clear();
    m_queries.push_back(query);
    m_unread = query.left;
    endResetModel();
    readMore(kPage);
}

void RowsModel::setPinned(int rows)
{
    m_pinned = rows;
    if (m_added.empty())  // rows added by code so far: are any below the pinned ones?
        m_addedRows = int(m_rows.size()) > rows;
}

void RowsModel::sortLater()
{
    if (m_sortColumn < 0 || m_sortedInStore || m_sortDue)
        return;
    m_sortDue = true;
    QMetaObject::invokeMethod(this, &RowsModel::sortIfDue, Qt::QueuedConnection);
}

void RowsModel::sortIfDue()
{
    if (m_sortDue)
        sortHere();
}

void RowsModel::sortHere()
{
    readMore(m_unread);
    m_sortDue = false;
    const int column = m_sortColumn;
    const SortAs as = m_sortAs.value(column, SortAs::Text);
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    const std::size_t n = m_rows.size();
    const std::size_t pinned = std::min(n, std::size_t(m_pinned));
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t(0));
    auto sortBy = [&](auto value, auto less) {
        std::vector<decltype(value(m_rows.front()))> values;
        values.reserve(n);
        for (const Row& row : m_rows)
            values.push_back(value(row));
        // Rows of the same value keep the order they came in, either way.
        std::sort(order.begin() + std::ptrdiff_t(pinned), order.end(), [&](std::size_t a, std::size_t b) {
            const auto& first = descending ? values[b] : values[a];
            const auto& second = descending ? values[a] : values[b];
            if (less(first, second) || less(second, first))
                return less(first, second);
            return m_rows[a].arrival < m_rows[b].arrival;
        });
    };
    if (n == 0)
        return;
    if (column < 0) {
        sortBy([](const Row& r) { return r.arrival; }, std::less<>());
    } else if (as == SortAs::Number) {
        sortBy([column](const Row& r) { return r.texts.value(column).trimmed().toDouble(); }, std::less<>());
    } else if (as == SortAs::Date) {
        sortBy([column](const Row& r) { return dateValue(r.texts.value(column)); }, std::less<>());
    } else if (const auto key = m_sortKeys.value(column)) {
        sortBy([&](const Row& r) { return key(r.texts.value(column)); }, std::less<>());
    } else {
        QCollator words;
        words.setCaseSensitivity(Qt::CaseInsensitive);
        sortBy([&](const Row& r) { return words.sortKey(r.texts.value(column)); },
               [](const QCollatorSortKey& a, const QCollatorSortKey& b) { return a.compare(b) < 0; });
    }
    if (std::is_sorted(order.begin(), order.end()))
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> placeOf(n);
    std::vector<Row> sorted;
    sorted.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        placeOf[order[i]] = int(i);
        sorted.push_back(std::move(m_rows[order[i]]));
    }
    m_rows = std::move(sorted);
    // Whatever is held on a row (the current one, the chosen ones) stays on it.
    const QModelIndexList held = persistentIndexList();
    QModelIndexList moved;
    moved.reserve(held.size());
    for (const QModelIndex& index : held)
        moved << this->index(placeOf[std::size_t(index.row())], index.column());
    changePersistentIndexList(held, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int RowsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int RowsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(1, int(m_headers.size()));
}

QVariant RowsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()) || (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    return m_rows[std::size_t(index.row())].texts.value(index.column());
}

QVariant RowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < m_headers.size())
        return m_headers[section];
    return QVariant();
}

bool RowsModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && !m_queries.empty();
}

void RowsModel::fetchMore(const QModelIndex& parent)
{
    if (!parent.isValid())
        readMore(kPage);
}
