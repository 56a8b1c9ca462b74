#pragma once

// Table tests over the files of tests/data/<format>/: every input file there
// is a row, compared with the .expected file of the same name beside it.
// With TESSALY_BLESS=1 in the environment the test writes that file from
// what the program made instead (for a new case; read it before committing).

#include <QString>
#include <QStringList>

namespace Golden {

// The folder of one format's files.
QString folder(const QString& format);

// Column "input" (the file's path) and one row per matching file, named after it.
void addRows(const QString& format, const QStringList& patterns);

// A value kept on one line: backslash, LF, CR and tab as \\ \n \r \t, and
// characters one cannot see (controls, other blanks, format marks) as \u{hex}.
QString escaped(const QString& text);

// Bytes whose lines end in CR LF, one line each; a bare CR or LF shows as
// <CR> or <LF>, and bytes that do not end in CR LF end in <no line end>.
QString crlfLines(const QByteArray& bytes);

// Compares actual with the .expected file of input (or writes it, blessing).
// A failure names the first line that differs.
void compare(const QString& input, const QString& actual);

}  // namespace Golden
