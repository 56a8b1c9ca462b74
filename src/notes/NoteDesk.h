#pragma once

#include <QObject>
#include <QString>

#include <functional>

// What the note commands keep from one command to the next, and what they
// need of the window that holds the notes. The main window owns one and
// fills in the two functions; the notes never see the main window itself.
class NoteDesk : public QObject {
public:
    using QObject::QObject;

    // The note folder with a trailing separator, where the dialogs start.
    QString NoteFolder;
    // The file of the last note dialog.
    QString CurrentFile;
    // Notes opened in this run; the numbers are never reused.
    int DocumentCount = 0;

    std::function<void(const QString&)> setCaption;
    std::function<void()> showNotePanel;
};
