#pragma once

#include <QFrame>

#include <vector>

#include "store/SearchIndex.h"

class QLineEdit;
class QListWidget;

// One box over every kind of record: what is typed is looked up at once,
// the hits grouped under their kind, the matched words in bold. Up and Down
// move through the hits, Enter opens one (as does a click), Escape closes.
class SearchBox : public QFrame {
    Q_OBJECT
public:
    explicit SearchBox(QWidget* parent);
    // Shows the box with the text chosen, ready for typing.
    void open();

    QLineEdit* txtSearch;
    QListWidget* lstResults;

signals:
    void chosen(const SearchIndex::SearchHit& hit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showResults();
    // Records changed while the box is open: the hits are looked up again.
    void refresh();
    void openCurrent();

    std::vector<SearchIndex::SearchHit> m_hits;
};
