#include "controls/RowsModel.h"

#include "store/StoreError.h"

namespace {
// A page: a screenful or two of any list, and a query of its own.
constexpr int kPage = 256;
}  // namespace

void RowsModel::setHeaders(const QStringList& headers)
{
    beginResetModel();
    m_headers = headers;
    endResetModel();
}

int RowsModel::addRow(const QStringList& texts, const QString& key)
{
    if (!key.isEmpty() && m_keySet.contains(key))
        return -1;
    readMore(m_unread);
    const int row = int(m_rows.size());
    beginInsertRows(QModelIndex(), row, row);
    m_rows.push_back(texts);
    m_keys.resize(m_rows.size());
    m_keys.back() = key;
    if (!key.isEmpty())
        m_keySet.insert(key);
    endInsertRows();
    return row;
}

void RowsModel::setText(int row, int column, const QString& text)
{
    if (row < 0 || row >= total() || column < 0)
        return;
    readMore(row + 1 - int(m_rows.size()));
    QStringList& texts = m_rows[std::size_t(row)];
    while (texts.size() <= column)
        texts << QString();
    texts[column] = text;
    emit dataChanged(index(row, column), index(row, column));
}

void RowsModel::addQuery(QueryPages pages, bool numbered)
{
    if (pages.atEnd())
        return;
    m_unread += pages.count();
    const int count = pages.count();
    m_queries.push_back({std::move(pages), count, numbered});
    // The view asks for rows only when it shows; code may ask sooner.
    readMore(kPage);
}

void RowsModel::setTotal(int rows)
{
    rows = std::max(rows, 0);
    // The rows kept are read first; the rest of the queries is let go.
    readMore(rows - int(m_rows.size()));
    m_queries.clear();
    m_unread = 0;
    const int have = int(m_rows.size());
    if (rows > have) {
        beginInsertRows(QModelIndex(), have, rows - 1);
        m_rows.resize(std::size_t(rows));
        m_keys.resize(std::size_t(rows));
        endInsertRows();
    } else if (rows < have) {
        beginRemoveRows(QModelIndex(), rows, have - 1);
        for (std::size_t i = std::size_t(rows); i < m_keys.size(); ++i)
            m_keySet.remove(m_keys[i]);
        m_rows.resize(std::size_t(rows));
        m_keys.resize(std::size_t(rows));
        endRemoveRows();
    }
}

void RowsModel::removeRow(int row)
{
    if (row < 0 || row >= total())
        return;
    readMore(row + 1 - int(m_rows.size()));
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    m_keySet.remove(m_keys[std::size_t(row)]);
    m_keys.erase(m_keys.begin() + row);
    endRemoveRows();
}

void RowsModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_keys.clear();
    m_keySet.clear();
    m_queries.clear();
    m_unread = 0;
    endResetModel();
}

QString RowsModel::text(int row, int column) const
{
    if (row < 0 || row >= total())
        return QString();
    const_cast<RowsModel*>(this)->readMore(row + 1 - int(m_rows.size()));
    return row < int(m_rows.size()) ? m_rows[std::size_t(row)].value(column) : QString();
}

QString RowsModel::key(int row) const
{
    return row >= 0 && row < int(m_keys.size()) ? m_keys[std::size_t(row)] : QString();
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
        m_rows.push_back(std::move(row));
    m_keys.resize(m_rows.size());
    endInsertRows();
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
    return m_rows[std::size_t(index.row())].value(index.column());
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
