#pragma once

#include <QString>

class NoteDesk;
class frmNote;

// The document commands of the note panel: new, open, save, save as, print.
// They act on the active note, the work area's current child window when
// that is a note.
namespace Notes {
// The main window's caption once any note has closed (the blank is part of it).
extern const QString kClosedCaption;

frmNote* activeNote();

frmNote* LoadNewDoc(NoteDesk& desk);
void Opendoc(NoteDesk& desk);
// The note file at `path` in a new note window.
void openFile(NoteDesk& desk, const QString& path);
void SaveDoc();
void SaveAss(NoteDesk& desk);
void PrintNote();

// Stops the reading of large files still under way (an open that was
// cancelled, or is waited for) and waits until it has ended: at quit.
void stopLoading();

// Asks whether to save the note's changes. True when the note may go: the
// answer was No, or Yes and the note was saved.
bool offerToSave(frmNote& note);
}  // namespace Notes
