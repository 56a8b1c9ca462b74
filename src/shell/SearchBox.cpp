#include "shell/SearchBox.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QVBoxLayout>

#include <optional>

#include "kit/AppFolder.h"
#include "kit/Clock.h"
#include "kit/Occurrences.h"
#include "store/Connection.h"
#include "store/RecordsChanged.h"
#include "store/StoreError.h"

namespace {
const QString kCaption = QStringLiteral("Search All");  // as the button that opens it
const QString kBoxName = QStringLiteral("Search everything");
const QString kResultsName = QStringLiteral("Search results");
const QString kPlaceholder = QStringLiteral("Search contacts, appointments, notes and mail");
const QString kNothingFound = QStringLiteral("Nothing found");
const QString kMore = QStringLiteral("\u2026 and %1 more");
const QString kMoreThan = QStringLiteral("\u2026 and more than %1 more");
const QString kSomeMore = QStringLiteral("\u2026 and more");
const QString kGroups[] = {QStringLiteral("Contacts"), QStringLiteral("Appointments"), QStringLiteral("Notes"),
                           QStringLiteral("Mail"), QStringLiteral("Tasks")};
constexpr int kHitRole = Qt::UserRole;
constexpr int kHtmlRole = Qt::UserRole + 1;

// The hit's text, escaped, its marks made bold.
QString html(const QString& marked)
{
    return marked.toHtmlEscaped()
        .replace(SearchIndex::kMarkOpen, QLatin1String("<b>"))
        .replace(SearchIndex::kMarkClose, QLatin1String("</b>"))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QString plain(QString marked)
{
    return marked.remove(SearchIndex::kMarkOpen).remove(SearchIndex::kMarkClose).simplified();
}

// Draws an entry's HTML (its title in bold where it matched).
class HitDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.text.clear();
        opt.widget->style()->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        QTextDocument doc;
        doc.setDefaultFont(opt.font);
        doc.setHtml(index.data(kHtmlRole).toString());
        doc.setTextWidth(opt.rect.width());
        painter->save();
        painter->translate(opt.rect.topLeft());
        painter->setClipRect(opt.rect.translated(-opt.rect.topLeft()));
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette.setColor(QPalette::Text, opt.state & QStyle::State_Selected
                                                     ? opt.palette.color(QPalette::HighlightedText)
                                                     : opt.palette.color(QPalette::Text));
        doc.documentLayout()->draw(painter, context);
        painter->restore();
    }
    // The rich text's margins need more room than a plain line.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QSize plainSize = QStyledItemDelegate::sizeHint(option, index);
        return {plainSize.width(), plainSize.height() + 2 * int(QTextDocument().documentMargin())};
    }
};
}  // namespace

SearchBox::SearchBox(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("frmSearch"));
    setAccessibleName(kCaption);
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    txtSearch = new QLineEdit(this);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setAccessibleName(kBoxName);
    txtSearch->setPlaceholderText(kPlaceholder);
    txtSearch->setClearButtonEnabled(true);
    lstResults = new QListWidget(this);
    lstResults->setObjectName(QStringLiteral("lstResults"));
    lstResults->setAccessibleName(kResultsName);
    lstResults->setItemDelegate(new HitDelegate(lstResults));
    layout->addWidget(txtSearch);
    layout->addWidget(lstResults);
    txtSearch->installEventFilter(this);
    lstResults->installEventFilter(this);
    connect(txtSearch, &QLineEdit::textChanged, this, &SearchBox::showResults);
    connect(lstResults, &QListWidget::itemClicked, this, &SearchBox::openCurrent);
    // The hits follow the records while the box is open; the hit chosen stays chosen.
    connect(&RecordsChanged::instance(), &RecordsChanged::changed, this, &SearchBox::refresh);
    hide();
}

SearchBox::~SearchBox() = default;

void SearchBox::open()
{
    show();
    raise();
    txtSearch->setFocus();
    txtSearch->selectAll();
}

void SearchBox::showResults()
{
    lstResults->clear();
    m_hits.clear();
    const QString typed = txtSearch->text();
    if (SearchIndex::matchQuery(typed).isEmpty())
        return;
    QString more;
    try {
        if (!m_con) {
            auto con = std::make_unique<Connection>();
            con->Open(AppFolder::databaseFile());
            m_con = std::move(con);
        }
        Connection& con = *m_con;
        const SearchIndex::Dating dating{Clock::today(), Clock::parseDate,
                                         [&con](qint64 row) { return Occurrences::nextFrom(con, row, Clock::today()); },
                                         Clock::dateText};
        SearchIndex::Found found = SearchIndex::find(con.handle(), typed, dating);
        m_hits = std::move(found.hits);
        const qint64 beyond = found.total - qint64(m_hits.size());
        more = beyond > 0 ? (found.moreThan ? kMoreThan : kMore).arg(beyond) : found.moreThan ? kSomeMore : QString();
    } catch (const StoreError& e) {
        m_con.reset();  // opened again at the next key
        auto* item = new QListWidgetItem(e.reason(), lstResults);
        item->setData(kHtmlRole, e.reason().toHtmlEscaped());
        item->setFlags(Qt::NoItemFlags);
        return;
    }
    int group = -1;
    for (size_t i = 0; i < m_hits.size(); ++i) {
        const SearchIndex::SearchHit& hit = m_hits[i];
        if (int(hit.kind) != group) {
            group = int(hit.kind);
            auto* heading = new QListWidgetItem(kGroups[group], lstResults);
            heading->setData(kHtmlRole, QStringLiteral("<i>%1</i>").arg(kGroups[group]));
            heading->setFlags(Qt::ItemIsEnabled);
        }
        // The plain text is what a screen reader says; the HTML is what shows.
        const bool snippet = !plain(hit.snippet).isEmpty();
        auto* item = new QListWidgetItem(
            plain(hit.title) + (snippet ? QStringLiteral(" - ") + plain(hit.snippet) : QString()), lstResults);
        item->setData(kHitRole, qulonglong(i));
        item->setData(kHtmlRole, QStringLiteral("&nbsp;&nbsp;%1").arg(html(hit.title))
                                     + (snippet ? QStringLiteral(" &mdash; ") + html(hit.snippet) : QString()));
    }
    const QString last = m_hits.empty() ? kNothingFound : more;
    if (!last.isEmpty()) {
        auto* item = new QListWidgetItem(last, lstResults);
        item->setData(kHtmlRole, last.toHtmlEscaped());
        item->setFlags(Qt::ItemIsEnabled);
    }
}

void SearchBox::refresh()
{
    if (!isVisible())
        return;
    const QListWidgetItem* item = lstResults->currentItem();
    std::optional<SearchIndex::SearchHit> chosen;
    if (item && item->data(kHitRole).isValid())
        chosen = m_hits[item->data(kHitRole).toULongLong()];
    showResults();
    for (int row = 0; chosen && row < lstResults->count(); ++row) {
        const QVariant i = lstResults->item(row)->data(kHitRole);
        const SearchIndex::SearchHit* hit = i.isValid() ? &m_hits[i.toULongLong()] : nullptr;
        if (hit && hit->kind == chosen->kind && hit->key == chosen->key && hit->path == chosen->path) {
            lstResults->setCurrentRow(row);
            return;
        }
    }
}

void SearchBox::openCurrent()
{
    const QListWidgetItem* item = lstResults->currentItem();
    if (!item || !item->data(kHitRole).isValid())
        return;
    const SearchIndex::SearchHit hit = m_hits[item->data(kHitRole).toULongLong()];
    hide();
    emit chosen(hit);
}

bool SearchBox::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QFrame::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Escape) {
        hide();
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        openCurrent();
        return true;
    }
    if (watched == txtSearch && (key == Qt::Key_Down || key == Qt::Key_Up)) {
        // Headings are skipped: only hits take the selection.
        const int step = key == Qt::Key_Down ? 1 : -1;
        for (int row = lstResults->currentRow() + step; row >= 0 && row < lstResults->count(); row += step)
            if (lstResults->item(row)->flags() & Qt::ItemIsSelectable) {
                lstResults->setCurrentRow(row);
                break;
            }
        return true;
    }
    return QFrame::eventFilter(watched, event);
}
