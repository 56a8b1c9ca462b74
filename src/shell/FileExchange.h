#pragma once

class QAction;
class QMenu;

// The File menu's imports and exports of contacts (vCard) and appointments
// (iCalendar): each asks for a file, does the work and tells the result in
// one message. The entries go in before `before`.
void addFileExchangeEntries(QMenu* file, QAction* before);
