#pragma once

#include <QTreeWidget>

// A list in report style: columns with headers, rows of texts, optional row keys.
class ListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit ListView(QWidget* parent = nullptr);

    // Adds a column; the width is in twips.
    void addColumn(const QString& header, int widthTwips);
    // Adds a row whose first column is `text`; returns its index, or -1 when
    // `key` is not empty and a row already has that key.
    int addItem(const QString& text, const QString& key = QString());
    // Sets the text of column n + 1 of a row (n counts from 1).
    void setSubItem(int row, int n, const QString& text);
    QString itemText(int row, int column = 0) const;
    QString itemKey(int row) const;
    int itemCount() const { return topLevelItemCount(); }
    void clearItems() { clear(); }
    void resizeColumnsToContents();

signals:
    void ItemClick(int row);
};
