#pragma once

#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

#include "shell/frmMain.h"
#include "controls/Buttons.h"
#include "controls/RichTextBox.h"
#include "notes/frmNote.h"
#include "support/Fixture.h"

// What the person sees of the notes: the work area's current note and the
// note panel's buttons.
namespace NoteTest {
inline void click(QWidget* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

inline frmNote* currentNote(frmMain* main)
{
    QMdiSubWindow* sub = main->mdiArea()->currentSubWindow();
    return sub ? qobject_cast<frmNote*>(sub->widget()) : nullptr;
}

inline QList<frmNote*> openNotes(frmMain* main)
{
    QList<frmNote*> notes;
    for (QMdiSubWindow* sub : main->mdiArea()->subWindowList())
        if (auto* note = qobject_cast<frmNote*>(sub->widget()))
            notes << note;
    return notes;
}

// A new note holding `rtf`, current in the work area.
inline frmNote* newNote(frmMain* main, const QString& rtf = QString())
{
    click(main->cmdNew);
    frmNote* note = currentNote(main);
    if (!rtf.isEmpty())
        note->RichNote->setTextRTF(rtf);
    return note;
}

inline void closeNote(frmNote* note)
{
    qobject_cast<QMdiSubWindow*>(note->parentWidget())->close();
    pump();
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Closing the fixture must not stop at a note's save question.
inline void answerNoFromNowOn(AppFixture& fx)
{
    fx.answers = QList<MsgResult>(50, MsgResult::No);
}
}  // namespace NoteTest
