#pragma once

#include <QString>

class NoteDesk;

// The editing commands of the note panel. Each acts on the active note;
// Date and Time open a note first when there is none, the others then do
// nothing (Cut and Copy still empty the clipboard).
namespace Notes {
void Undo();
// The clipboard carries the selection's RTF source as plain text, so a
// paste inside the program keeps the formatting.
void Cut();
void Copy();
void Paste();
void SelectAll();
void InsertDate(NoteDesk& desk);
void InsertTime(NoteDesk& desk);
void ShowFind();
void Help();
}  // namespace Notes
