#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <functional>
#include <vector>

// Keeps a screen's controls where they belong as the screen grows past its
// first size. Each control keeps its distance to the edges of its parent it
// is pinned to, so one pinned to both sides of an axis grows with the
// parent on that axis; one pinned to neither keeps its place. Two controls
// stacked one above the other can share the extra height, with a bar
// between them that the user drags to move their boundary. The screen is
// never made smaller than its first size. Controls are added once the
// screen and they have their first sizes; a parent that a layout places (a
// page of tabs) is measured when laid out, taken to grow as the screen does.
class Anchors : public QObject {
public:
    explicit Anchors(QWidget* form);

    Anchors& pin(QWidget* control, Qt::Edges edges);
    // `above` and `below` (each pinned left and right) share the extra
    // height, `above` taking `share` of it; the bar between them (in the
    // gap they leave, or over the top of `below`) moves their boundary.
    void split(QWidget* above, QWidget* below, double share);
    // `control` lies over `as` (added before) and is placed as it is.
    Anchors& same(QWidget* control, QWidget* as);
    // Where `control` is at the first size, from now on (a screen that
    // shows a box beside it); it is placed again at once.
    void setFirst(QWidget* control, const QRect& first);

private:
    struct Item {
        QPointer<QWidget> control;
        QRect first;
        mutable QSize parentFirst;  // none until the parent was first laid out
        bool byLayout = false;      // the parent is placed by a layout (a page of tabs)
        double moveX = 0, growX = 0, moveY = 0, growY = 0;
        int offsetMove = 0, offsetGrow = 0;  // how the dragged boundary moves and grows it
    };
    Item& add(QWidget* control);
    void place(const Item& item) const;
    void placeChildrenOf(QObject* parent) const;
    void drag(int by);
    bool eventFilter(QObject* watched, QEvent* event) override;

    QPointer<QWidget> m_form;
    QSize m_formFirst;
    std::vector<Item> m_items;
    int m_offset = 0;  // of the boundary between the split controls, from where it would be
    QPointer<QWidget> m_above, m_below;
};
