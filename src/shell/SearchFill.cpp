#include "shell/SearchFill.h"

#include <QFile>
#include <QFileInfo>
#include <QTextDocument>

#include "kit/AppFolder.h"
#include "mail/MimeMessage.h"
#include "rtf/RtfReader.h"
#include "store/Connection.h"
#include "store/StoreError.h"

SearchIndex::Sources searchSources()
{
    const QString maildir = AppFolder::dataFolder() + QStringLiteral("/Mail/");
    return {[maildir](const QString& fileName) {
                QFile file(maildir + fileName);
                return file.open(QIODevice::ReadOnly) ? decodeMime(file.readAll()).text : QString();
            },
            [](const QString& path) {
                QFile file(path);
                if (!file.open(QIODevice::ReadOnly))
                    return QString();
                const QByteArray data = file.readAll();
                if (!RtfReader::isRtf(data))
                    return RtfReader::decodePlainText(data);
                QTextDocument doc;
                RtfReader::read(data, doc);
                return doc.toPlainText();
            },
            AppFolder::noteFolder()};
}

SearchFill::~SearchFill()
{
    stop();
}

void SearchFill::start()
{
    const QString store = AppFolder::databaseFile();
    if (m_started || !QFileInfo(store).isFile())
        return;
    m_started = true;
    m_stop = false;
    m_worker.post([this, store] {
        QString failure;
        try {
            Connection con;
            con.Open(store);
            const SearchIndex::Sources sources = searchSources();
            if (SearchIndex::prepare(con.handle()))
                SearchIndex::rebuild(con.handle(), sources, [this](int share) {
                    emit progress(share);
                    return !m_stop.load();
                });
            else
                SearchIndex::refreshNotes(con.handle(), sources);
            // Entries left for later when the program last ran, or held by a
            // write that committed without putting them.
            SearchIndex::putLeftEntries(con.handle());
        } catch (const StoreError& e) {
            failure = e.reason();
        }
        emit finished(failure);
    });
}

void SearchFill::stop()
{
    m_stop = true;
    m_worker.stop();
    m_started = false;
}
