#include "notes/NoteFiles.h"

#include <QFileInfo>

#include "kit/AppFolder.h"
#include "kit/AtomicFile.h"
#include "store/Connection.h"
#include "store/SearchIndex.h"
#include "store/StoreError.h"

QString NoteFiles::write(const QString& path, QByteArray rtf, bool lineEnd)
{
    if (lineEnd)
        rtf += "\r\n";
    return AtomicFile::write(path, rtf);
}

void NoteFiles::index(const QString& path, const QString& plainText)
{
    const QString store = AppFolder::databaseFile();
    if (!QFileInfo::exists(store))
        return;
    try {
        Connection con;
        con.Open(store);
        SearchIndex::putNote(con.handle(), path, plainText);
    } catch (const StoreError&) {
    }
}
