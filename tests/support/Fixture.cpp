#include "Fixture.h"
#include "Files.h"

#include <sqlite3.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QTest>

#include "kit/AppFolder.h"
#include "kit/Clock.h"
#include "kit/Launcher.h"
#include "shell/frmMain.h"
#include "store/Connection.h"
#include "window/Printing.h"
#include "window/Screens.h"

AppFixture::AppFixture(QDateTime now)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    AppFolder::setPath(m_dir.path());
    Clock::setFixed(now);
    setMsgBoxHandler([this](const MsgBoxCall& call) {
        messages << call;
        if (!answers.isEmpty())
            return answers.takeFirst();
        return call.buttons == MsgButtons::YesNo || call.buttons == MsgButtons::YesNoCancel ? MsgResult::Yes
                                                                                            : MsgResult::OK;
    });
    setFileDialogHandler([this](const FileDialogRequest& request) -> std::optional<QString> {
        fileRequests << request;
        return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.takeFirst();
    });
    setPrinterFactory([this]() -> std::unique_ptr<QPrinter> {
        if (printerMissing)
            return nullptr;
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdfPath());
        return printer;
    });
    setLauncher([this](const QString& program, const QStringList& arguments) {
        launched << qMakePair(program, arguments);
        return launchSucceeds;
    });
}

AppFixture::~AppFixture()
{
    // Whatever a test left unsaved is dropped: questions on the way out answer No.
    setMsgBoxHandler(
        [](const MsgBoxCall& call) { return call.buttons == MsgButtons::OKOnly ? MsgResult::OK : MsgResult::No; });
    Screens::unloadAll();
    // Screens go with deferred deletes; let them happen while the seams still answer.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    pump();
    setMsgBoxHandler({});
    setFileDialogHandler({});
    setPrinterFactory({});
    setLauncher({});
    Clock::setFixed(std::nullopt);
    AppFolder::setPath(QString());
}

QString AppFixture::appDir() const
{
    return m_dir.path();
}

QString AppFixture::dataDir() const
{
    return m_dir.path() + QStringLiteral("/Data");
}

QString AppFixture::dbPath() const
{
    return dataDir() + QStringLiteral("/Tessaly.mdb");
}

QString AppFixture::pdfPath() const
{
    return m_dir.path() + QStringLiteral("/printed.pdf");
}

frmMain* AppFixture::openMainWindow() const
{
    if (QFileInfo::exists(dataDir()))
        qFatal("openMainWindow() needs an application folder without a data folder");
    return Screens::show<frmMain>();
}

void AppFixture::makeDataFolder() const
{
    QDir().mkpath(dataDir());
    Connection con;
    con.Open(dbPath());
}

void AppFixture::writeMarker() const
{
    if (!writeFile(dataDir() + QStringLiteral("/Pass.dat"), "Pass\r\n"))
        qFatal("cannot write the marker file");
}

QStringList AppFixture::messageTexts() const
{
    QStringList texts;
    for (const MsgBoxCall& call : messages)
        texts << call.text;
    return texts;
}

QStringList AppFixture::messageBoxes() const
{
    static const char* const icons[] = {"None", "Critical", "Question", "Exclamation", "Information"};
    QStringList boxes;
    for (const MsgBoxCall& call : messages)
        boxes << QStringLiteral("%1|%2|%3").arg(QLatin1String(icons[int(call.icon)]), call.title, call.text);
    return boxes;
}

QList<QVariantMap> Db::rows(const QString& dbPath, const QString& table)
{
    QList<QVariantMap> result;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(dbPath).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        qFatal("cannot open %s", qPrintable(dbPath));
    }
    // The program's own background check may be opening or closing the file.
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* stmt = nullptr;
    const QByteArray sql = QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(table).toUtf8();
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
        qFatal("cannot read %s: %s", qPrintable(table), sqlite3_errmsg(db));
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        QVariantMap row;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            const QString name = QString::fromUtf8(sqlite3_column_name(stmt, i));
            switch (sqlite3_column_type(stmt, i)) {
            case SQLITE_INTEGER:
                row[name] = qint64(sqlite3_column_int64(stmt, i));
                break;
            case SQLITE_NULL:
                row[name] = QVariant();
                break;
            default:
                row[name] = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                                              sqlite3_column_bytes(stmt, i));
            }
        }
        result << row;
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

QStringList Db::joined(const QString& dbPath, const QString& table, const QStringList& fields)
{
    QStringList result;
    for (const QVariantMap& row : rows(dbPath, table)) {
        QStringList values;
        for (const QString& field : fields)
            values << row.value(field).toString();
        result << values.join(u'|');
    }
    return result;
}

void Db::exec(const QString& dbPath, const QString& sql)
{
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(dbPath).constData(), &db);
    sqlite3_busy_timeout(db, 5000);
    char* error = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QByteArray message = error ? QByteArray(error) : QByteArray("unknown error");
        sqlite3_free(error);
        sqlite3_close(db);
        qFatal("%s: %s", qPrintable(sql), message.constData());
    }
    sqlite3_close(db);
}

void pump(int ms)
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (ms > 0)
        QTest::qWait(ms);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool waitFor(const std::function<bool()>& condition, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}
