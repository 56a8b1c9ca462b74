#include "mail/ConversationView.h"

#include "mail/Conversations.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QSet>

#include <algorithm>

namespace {
// A message row's key (MailKey); a conversation's row has none.
constexpr int kKey = Qt::UserRole + 1;
// Each answer this much further in than what it answers.
constexpr int kIndent = 3;

QList<QStandardItem*> rowOf(const KeptMessage& m, const QString& subject)
{
    QList<QStandardItem*> row;
    for (const QString& text : {m.from, subject, m.date, QString::number(m.size)}) {
        auto* item = new QStandardItem(text);
        item->setEditable(false);
        row << item;
    }
    row.first()->setData(m.key, kKey);
    return row;
}
}  // namespace

ConversationView::ConversationView(QWidget* parent)
    : QTreeView(parent)
{
    m_rows.setHorizontalHeaderLabels(
        {QStringLiteral("From"), QStringLiteral("Subject"), QStringLiteral("Date"), QStringLiteral("Size")});
    setModel(&m_rows);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    header()->setStretchLastSection(true);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& now) {
        const QString key = now.siblingAtColumn(0).data(kKey).toString();
        if (!key.isEmpty() && !m_quiet)
            emit messageChosen(key);
    });
}

void ConversationView::show(const QList<KeptMessage>& listed, const QList<KeptMessage>& beside)
{
    QSet<QString> open;
    for (int row = 0; row < m_rows.rowCount(); ++row)
        if (isExpanded(m_rows.index(row, 0)))
            for (int k = 0; k < m_rows.item(row)->rowCount(); ++k)
                open << m_rows.item(row)->child(k)->data(kKey).toString();
    const QString chosen = currentIndex().siblingAtColumn(0).data(kKey).toString();

    const QList<KeptMessage> all = listed + beside;
    QList<ThreadedMessage> threaded;
    threaded.reserve(all.size());
    for (const KeptMessage& m : all)
        threaded.append({m.messageId, m.inReplyTo, m.references, m.subject, m.date});
    m_quiet = true;
    m_rows.removeRows(0, m_rows.rowCount());
    for (const Conversation& c : conversations(threaded)) {
        if (std::none_of(c.entries.cbegin(), c.entries.cend(),
                         [&](const ConversationEntry& e) { return e.message < listed.size(); }))
            continue;
        if (c.entries.size() == 1) {
            m_rows.appendRow(rowOf(all[c.entries.first().message], all[c.entries.first().message].subject));
            continue;
        }
        const KeptMessage& newest = all[c.newest];
        QList<QStandardItem*> top = rowOf(newest, QStringLiteral("%1 (%2)").arg(newest.subject).arg(c.entries.size()));
        top.first()->setData(QString(), kKey);
        top.last()->setText(QString());
        bool wasOpen = false;
        for (const ConversationEntry& e : c.entries) {
            const KeptMessage& m = all[e.message];
            top.first()->appendRow(rowOf(m, QString(qsizetype(e.depth) * kIndent, u' ') + m.subject));
            wasOpen = wasOpen || open.contains(m.key);
        }
        m_rows.appendRow(top);
        if (wasOpen)
            expand(top.first()->index());
    }
    if (!chosen.isEmpty())
        choose(chosen);
    m_quiet = false;
}

QStringList ConversationView::selectedKeys() const
{
    QStringList out;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        const QStandardItem* item = m_rows.itemFromIndex(index);
        if (!item->data(kKey).toString().isEmpty())
            out << item->data(kKey).toString();
        for (int k = 0; k < item->rowCount(); ++k)
            out << item->child(k)->data(kKey).toString();
    }
    out.removeDuplicates();
    return out;
}

namespace {
QModelIndexList rowsOf(const QStandardItemModel& rows, const QString& key)
{
    return rows.match(rows.index(0, 0), kKey, key, 1, Qt::MatchExactly | Qt::MatchRecursive);
}
}  // namespace

bool ConversationView::contains(const QString& key) const
{
    return !key.isEmpty() && !rowsOf(m_rows, key).isEmpty();
}

bool ConversationView::choose(const QString& key)
{
    const QModelIndexList found = key.isEmpty() ? QModelIndexList() : rowsOf(m_rows, key);
    if (found.isEmpty())
        return false;
    if (found.first().parent().isValid())
        expand(found.first().parent());
    const bool already = currentIndex().siblingAtColumn(0) == found.first();
    setCurrentIndex(found.first());
    scrollTo(found.first());
    if (already && !m_quiet)
        emit messageChosen(key);  // asked again: shown again
    return true;
}

void ConversationView::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex at = currentIndex().siblingAtColumn(0);
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && at.isValid()) {
        const QString key = at.data(kKey).toString();
        if (key.isEmpty())
            expand(at);
        else
            emit messageChosen(key);
        return;
    }
    // Left closes the conversation, from any of its messages.
    if (event->key() == Qt::Key_Left && at.parent().isValid()) {
        collapse(at.parent());
        setCurrentIndex(at.parent());
        return;
    }
    QTreeView::keyPressEvent(event);
}
