#include "controls/Anchors.h"

#include <QEvent>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>

namespace {

// The bar between two split controls: dragged, it moves their boundary.
class SplitBar : public QWidget {
public:
    SplitBar(QWidget* parent, std::function<void(int)> moved)
        : QWidget(parent)
        , m_moved(std::move(moved))
    {
        setObjectName(QStringLiteral("splitBar"));
        setCursor(Qt::SizeVerCursor);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override { m_from = event->globalPosition().toPoint().y(); }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (!(event->buttons() & Qt::LeftButton))
            return;
        const int y = event->globalPosition().toPoint().y();
        m_moved(y - m_from);
        m_from = y;
    }

private:
    std::function<void(int)> m_moved;
    int m_from = 0;
};

// The smallest height the drag leaves either of the split controls.
constexpr int kLeastHeight = 48;

}  // namespace

Anchors::Anchors(QWidget* form)
    : QObject(form)
    , m_form(form)
    , m_formFirst(form->size())
{
    form->setMinimumSize(m_formFirst);
}

Anchors::Item& Anchors::add(QWidget* control)
{
    QWidget* parent = control->parentWidget();
    if (std::none_of(m_items.begin(), m_items.end(),
                     [&](const Item& item) { return item.control->parentWidget() == parent; }))
        parent->installEventFilter(this);
    const bool byLayout = parent != m_form && parent->parentWidget() && parent->parentWidget()->layout();
    m_items.push_back({control, control->geometry(), byLayout ? QSize() : parent->size(), byLayout});
    return m_items.back();
}

Anchors& Anchors::pin(QWidget* control, Qt::Edges edges)
{
    Item& item = add(control);
    const auto axis = [&](Qt::Edge low, Qt::Edge high, double& move, double& grow) {
        move = edges.testFlag(high) && !edges.testFlag(low) ? 1 : 0;
        grow = edges.testFlag(high) && edges.testFlag(low) ? 1 : 0;
    };
    axis(Qt::LeftEdge, Qt::RightEdge, item.moveX, item.growX);
    axis(Qt::TopEdge, Qt::BottomEdge, item.moveY, item.growY);
    place(item);
    return *this;
}

void Anchors::split(QWidget* above, QWidget* below, double share)
{
    m_above = above;
    m_below = below;
    const QRect a = above->geometry(), b = below->geometry();
    const int gap = std::max(b.top() - a.bottom() - 1, 4);
    auto* bar = new SplitBar(above->parentWidget(), [this](int by) { drag(by); });
    bar->setGeometry(a.left(), b.top() - gap, a.width(), gap);
    bar->lower();
    Item& top = add(above);
    top.growX = 1, top.growY = share, top.offsetGrow = 1;
    Item& bottom = add(below);
    bottom.growX = 1, bottom.moveY = share, bottom.growY = 1 - share, bottom.offsetMove = 1, bottom.offsetGrow = -1;
    Item& middle = add(bar);
    middle.growX = 1, middle.moveY = share, middle.offsetMove = 1;
}

Anchors& Anchors::same(QWidget* control, QWidget* as)
{
    const auto it = std::find_if(m_items.begin(), m_items.end(), [&](const Item& item) { return item.control == as; });
    Item copy = *it;
    copy.control = control;
    m_items.push_back(copy);
    place(copy);
    return *this;
}

void Anchors::setFirst(QWidget* control, const QRect& first)
{
    for (Item& item : m_items)
        if (item.control == control) {
            item.first = first;
            place(item);
        }
}

void Anchors::place(const Item& item) const
{
    if (!item.control)
        return;
    const QSize now = item.control->parentWidget()->size();
    if (item.byLayout && (!item.parentFirst.isValid() || m_form->size() == m_formFirst))
        item.parentFirst = (now - (m_form->size() - m_formFirst)).expandedTo(QSize(0, 0));
    const int dx = std::max(0, now.width() - item.parentFirst.width());
    const int dy = std::max(0, now.height() - item.parentFirst.height());
    const auto at = [](int first, double share, int extra) { return first + int(std::lround(share * extra)); };
    item.control->setGeometry(
        at(item.first.x(), item.moveX, dx), at(item.first.y(), item.moveY, dy) + item.offsetMove * m_offset,
        at(item.first.width(), item.growX, dx), at(item.first.height(), item.growY, dy) + item.offsetGrow * m_offset);
}

void Anchors::placeChildrenOf(QObject* parent) const
{
    for (const Item& item : m_items)
        if (item.control && item.control->parentWidget() == parent)
            place(item);
}

void Anchors::drag(int by)
{
    if (!m_above || !m_below)
        return;
    // Neither side is dragged below a few rows.
    const int most = m_below->height() - kLeastHeight, least = kLeastHeight - m_above->height();
    m_offset += std::clamp(by, std::min(least, 0), std::max(most, 0));
    placeChildrenOf(m_above->parentWidget());
}

bool Anchors::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize)
        placeChildrenOf(watched);
    return QObject::eventFilter(watched, event);
}
