#pragma once

#include <QString>

#include <map>
#include <memory>

struct sqlite3;
class Statement;

// One open database file. Each screen that uses records owns one, opened
// when it loads and closed when it unloads.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens the file at `path`. When the folder exists but the file does not,
    // the file is created with the four empty tables, readable by the owner
    // only. Throws StoreError naming the file and the reason; the file is
    // then tried again at the connection's next use (a disk that was full
    // may have room by then), until it opens or Close() is called.
    void Open(const QString& path);
    void Close();
    bool isOpen() const { return m_db != nullptr; }
    QString path() const { return m_path; }

    // Throws StoreError when the connection is not open (and a failed open,
    // tried again, still fails).
    sqlite3* handle();

    // The statement of `sql`, prepared at its first use and kept until the
    // connection closes, for one that runs many times (each row of an
    // import): compiling a write with the search index's triggers costs far
    // more than running it. Ready to bind; run it to its end (or reset it)
    // before the same text is asked for again.
    Statement& prepared(const QString& sql);

private:
    std::map<QString, std::unique_ptr<Statement>> m_prepared;
    sqlite3* m_db = nullptr;
    QString m_path;
    QString m_retry;  // the file of a failed Open(), until it opens or Close()
};
