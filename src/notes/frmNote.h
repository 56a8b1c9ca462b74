#pragma once

#include <QPointer>

#include "notes/NoteDesk.h"
#include "window/Screens.h"

class QResizeEvent;
class RichTextBox;

// One note: a rich-text box filling a child window of the main window. Every
// new note is another instance. The caption is empty until the note has a
// file, and then it is that file's full path.
class frmNote : public Form {
    Q_OBJECT
public:
    explicit frmNote(NoteDesk* desk = nullptr);
    void Form_Load() override;
    void Form_Unload() override;
    bool Form_QueryUnload() override;
    bool isChildWindow() const override { return true; }

    void Form_Resize();

    // Whether closing would lose something: text changed since the last
    // load or save, unless an unnamed note is empty again.
    bool hasUnsavedChanges() const;

    RichTextBox* RichNote;
    // The desk that opened the note; its dialogs and captions serve this note.
    QPointer<NoteDesk> desk;

protected:
    void resizeEvent(QResizeEvent* event) override;
};
