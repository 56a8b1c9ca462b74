#include "support/Golden.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include "support/Files.h"

namespace Golden {

QString folder(const QString& format)
{
    return QStringLiteral(TESSALY_TEST_DATA "/") + format;
}

void addRows(const QString& format, const QStringList& patterns)
{
    QTest::addColumn<QString>("input");
    const QDir dir(folder(format));
    for (const QString& name : dir.entryList(patterns, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(name)) << dir.filePath(name);
}

QString escaped(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += text.mid(i++, 2);
            continue;
        }
        switch (c.unicode()) {
        case u'\\':
            out += QLatin1String("\\\\");
            continue;
        case u'\n':
            out += QLatin1String("\\n");
            continue;
        case u'\r':
            out += QLatin1String("\\r");
            continue;
        case u'\t':
            out += QLatin1String("\\t");
            continue;
        default:
            break;
        }
        const QChar::Category kind = c.category();
        const bool unseen = kind == QChar::Other_Control || kind == QChar::Other_Format
                            || kind == QChar::Other_Surrogate || kind == QChar::Other_PrivateUse
                            || kind == QChar::Other_NotAssigned || kind == QChar::Separator_Line
                            || kind == QChar::Separator_Paragraph || (kind == QChar::Separator_Space && c != u' ')
                            || c == QChar::ObjectReplacementCharacter;
        out += unseen ? QStringLiteral("\\u{%1}").arg(c.unicode(), 4, 16, QLatin1Char('0')) : QString(c);
    }
    return out;
}

QString crlfLines(const QByteArray& bytes)
{
    QByteArray out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            out += bytes[i++ + 1];
        else if (bytes[i] == '\r')
            out += "<CR>";
        else if (bytes[i] == '\n')
            out += "<LF>\n";
        else
            out += bytes[i];
    }
    if (!bytes.isEmpty() && !bytes.endsWith("\r\n"))
        out += "<no line end>\n";
    return QString::fromUtf8(out);
}

void compare(const QString& input, const QString& actual)
{
    const QFileInfo in(input);
    const QString path = in.path() + u'/' + in.completeBaseName() + QLatin1String(".expected");
    if (qEnvironmentVariableIntValue("TESSALY_BLESS")) {
        QVERIFY2(writeFile(path, actual.toUtf8()), qPrintable(path));
        qInfo("wrote %s", qPrintable(path));
        return;
    }
    QVERIFY2(QFileInfo::exists(path), qPrintable(path + QLatin1String(" is missing: TESSALY_BLESS=1 writes it")));
    // Line by line, so that the failure points into the file (Qt cuts long values short).
    const QString end = QStringLiteral("<end of file>");
    const QStringList want = QString::fromUtf8(readFile(path)).split(u'\n');
    const QStringList got = actual.split(u'\n');
    for (qsizetype i = 0; i < std::max(want.size(), got.size()); ++i)
        if (want.value(i, end) != got.value(i, end)) {
            QTest::qCompare(got.value(i, end), want.value(i, end), "made", "expected", qPrintable(path), int(i + 1));
            return;
        }
}

}  // namespace Golden
