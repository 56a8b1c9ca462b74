#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include "address/ContactBoxes.h"

// What the printed contact sheet carries: the boxes of the entry screen as
// typed, fax number included.
struct ContactSheet {
    ContactValues contact;
    QString fax;  // shown on the screens, never stored

    // One printed line: the label with its run of blanks, then the value.
    // An empty line has neither.
    struct Line {
        QString lead;
        QString value;
    };
    // The heading line for the date `today`.
    static QString heading(QDate today);
    // The lines between the two rules, in print order.
    QList<Line> lines() const;
};

// Prints the sheet on the default printer; says so when there is none or the
// job fails.
void printContactSheet(const ContactSheet& sheet);

extern const QString kNoPrinter;
