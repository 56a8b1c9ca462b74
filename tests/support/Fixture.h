#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QPair>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include "kit/MsgBox.h"
#include "window/FileDialogs.h"

// Everything a test needs to run a screen without a desktop: its own
// application folder, a frozen clock and a fixed locale, message boxes and
// file dialogs that answer from a script, a PDF file for a printer, and a
// record of the programs started. Destroying it closes every screen.
class AppFixture {
public:
    static QDateTime defaultNow() { return QDateTime(QDate(2026, 5, 15), QTime(10, 30, 5)); }

    explicit AppFixture(QDateTime now = defaultNow());
    ~AppFixture();
    AppFixture(const AppFixture&) = delete;
    AppFixture& operator=(const AppFixture&) = delete;

    QString appDir() const;
    QString dataDir() const;
    QString dbPath() const;

    // The main window as a person sees it after the first start: loaded in a
    // folder without a data folder, so no account screen stops it. Call it
    // before makeDataFolder().
    class frmMain* openMainWindow() const;

    // A data folder with an empty database, as after the first start.
    void makeDataFolder() const;
    // The marker file that makes the next start ask for a login.
    void writeMarker() const;

    // Message boxes: every call is kept; answers are taken from the front of
    // `answers`, and OK (or Yes) once it is empty.
    QList<MsgBoxCall> messages;
    QList<MsgResult> answers;
    QStringList messageTexts() const;
    // Each message as "icon|title|text", the icon by name ("Critical").
    QStringList messageBoxes() const;

    // File dialogs: every request is kept; answers from the front (nothing = cancelled).
    QList<FileDialogRequest> fileRequests;
    QList<std::optional<QString>> fileAnswers;

    // Printing goes into this PDF file; with printerMissing set there is no printer.
    QString pdfPath() const;
    bool printerMissing = false;

    // Programs started: program and arguments; the start succeeds when launchSucceeds.
    QList<QPair<QString, QStringList>> launched;
    bool launchSucceeds = true;

private:
    QTemporaryDir m_dir;
};

// The database file read directly, not through the program's own layer.
namespace Db {
// Every row of `table` in the order stored, each field as its value.
QList<QVariantMap> rows(const QString& dbPath, const QString& table);
void exec(const QString& dbPath, const QString& sql);
// Each row of `table` as the values of `fields` joined by "|".
QStringList joined(const QString& dbPath, const QString& table, const QStringList& fields);
}  // namespace Db

// Lets queued events and timers run for `ms` milliseconds.
void pump(int ms = 0);
// Runs events until `condition` holds or `ms` pass; returns the condition.
bool waitFor(const std::function<bool()>& condition, int ms = 5000);
// Returns the first top-level widget of class T that is visible, or nullptr.
template <class T>
T* visibleWindow();

#include <QApplication>
#include <QWidget>

template <class T>
T* visibleWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
            return t;
    return nullptr;
}
