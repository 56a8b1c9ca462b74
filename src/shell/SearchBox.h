#pragma once

#include <QFrame>

#include <memory>
#include <vector>

#include "store/SearchIndex.h"

class Connection;

class QLineEdit;
class QListWidget;

// One box over every kind of record: what is typed is looked up at once,
// the hits grouped under their kind, the matched words in bold, and a last
// line telling how many more match than are shown. Up and Down
// move through the hits, Enter opens one (as does a click), Escape closes.
class SearchBox : public QFrame {
    Q_OBJECT
public:
    explicit SearchBox(QWidget* parent);
    ~SearchBox() override;
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
    // Opened at the first search and kept while the box lives: a key typed
    // costs one query, not an open (and its schema check) and a close.
    std::unique_ptr<Connection> m_con;
};
