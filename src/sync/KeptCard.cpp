// The three-way write of a contact's card: the card as read, the fields as
// read from it, the fields now.
#include <QMap>

#include <algorithm>

#include "sync/ContactMap.h"
#include "sync/KeptObjects.h"
#include "sync/SyncRecords.h"

using namespace ContactMap;

namespace {

bool isAscii(const QByteArray& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80 && c != '\r' && c != '\n'; });
}

// Quoted-printable as version 2.1 readers expect it: CR LF for a line
// break, a soft break ("=" at the end) before 76 characters.
QByteArray quotedPrintable(const QByteArray& text, const QByteArray& eol)
{
    QByteArray out;
    int width = 0;
    for (const char c : text) {
        const bool plain = c >= 33 && c <= 126 && c != '=';
        const QByteArray piece = plain || c == ' ' ? QByteArray(1, c) : '=' + QByteArray(1, c).toHex().toUpper();
        if (width + piece.size() > 74) {
            out += '=' + eol;
            width = 0;
        }
        out += piece;
        width += int(piece.size());
    }
    return out;
}

// Version 2.1 has no escaped line break: the text keeps its CR LF and goes
// quoted-printable.
QString escape21(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    QString out;
    for (const QChar c : text) {
        if (c == u'\\' || c == u';' || c == u',')
            out += u'\\';
        out += c == u'\n' ? QStringLiteral("\r\n") : QString(c);
    }
    return out;
}

// Edits of one card's bytes: lines replaced or removed, lines added before END.
class CardEdits {
public:
    explicit CardEdits(const VCard::Card& card)
        : m_card(card)
    {
        const qsizetype lf = card.raw.indexOf('\n'), cr = card.raw.indexOf('\r');
        m_eol = cr >= 0 && (lf < 0 || cr < lf) ? (lf == cr + 1 ? "\r\n" : "\r") : "\n";
        // A line another writer folded inside a character goes back folded
        // between characters; every other line stays as it came.
        const QByteArrayView raw(card.raw);
        for (const VCard::Line& l : VCard::unfold(card.raw))
            if (l.end <= card.endLine && splitsACharacter(raw.sliced(l.begin, l.end - l.begin)))
                m_edits.insert(l.begin, {l.end, folded(l.text)});
    }
    bool is21() const { return m_card.version == u"2.1"; }

    // The property's value becomes `parts` (joined by ';'), its group, name
    // and parameters stay, but for an encoding or character set the new
    // value no longer has.
    void replace(const VCard::Property& p, const QStringList& parts)
    {
        m_edits.insert(p.begin, {p.end, line(plainHead(p.head), parts)});
    }
    void remove(const VCard::Property& p) { m_edits.insert(p.begin, {p.end, {}}); }
    void add(const QByteArray& head, const QStringList& parts) { m_added += line(head, parts); }

    QByteArray result() const
    {
        QByteArray out;
        qsizetype at = 0;
        for (auto it = m_edits.cbegin(); it != m_edits.cend(); ++it) {
            out += QByteArrayView(m_card.raw).sliced(at, it.key() - at);
            out += it.value().second;
            at = it.value().first;
        }
        out += QByteArrayView(m_card.raw).sliced(at, m_card.endLine - at);
        out += m_added;
        out += QByteArrayView(m_card.raw).sliced(m_card.endLine);
        return out;
    }

private:
    static QByteArray plainHead(const QByteArray& head)
    {
        QList<QByteArray> kept;
        for (const QByteArray& segment : head.split(';')) {
            const QByteArray name = segment.left(segment.indexOf('=')).toUpper();
            if (name != "ENCODING" && name != "CHARSET" && name != "QUOTED-PRINTABLE" && name != "8BIT")
                kept << segment;
        }
        return kept.join(';');
    }

    QByteArray line(QByteArray head, const QStringList& parts) const
    {
        QByteArray value;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (i > 0)
                value += ';';
            if (is21())
                value += escape21(parts[i]).toUtf8();
            else
                VCard::appendEscaped(value, parts[i].toUtf8());
        }
        if (is21()) {
            if (!isAscii(value)) {
                head += ";CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE";
                value = quotedPrintable(value, m_eol);
            }
            return head + ':' + value + m_eol;
        }
        return folded(head + ':' + value);
    }

    QByteArray folded(const QByteArray& line) const
    {
        QByteArray out;
        VCard::appendFolded(out, line);
        if (m_eol != "\r\n")
            out.replace("\r\n", m_eol);
        return out;
    }

    // Whether a fold of `bytes` (one line as written) comes inside a UTF-8
    // sequence: the octet after the fold's blank continues a character.
    static bool splitsACharacter(QByteArrayView bytes)
    {
        for (qsizetype i = 0; i + 2 < bytes.size(); ++i)
            if ((bytes[i] == '\n' || bytes[i] == '\r') && (bytes[i + 1] == ' ' || bytes[i + 1] == '\t')
                && (static_cast<unsigned char>(bytes[i + 2]) & 0xC0) == 0x80)
                return true;
        return false;
    }

    const VCard::Card& m_card;
    QByteArray m_eol;
    QMap<qsizetype, std::pair<qsizetype, QByteArray>> m_edits;  // begin -> end, new bytes
    QByteArray m_added;
};

// A structured value's parts, at least `count` of them.
QStringList parts(const VCard::Property& p, qsizetype count)
{
    QStringList out = VCard::components(p.value);
    while (out.size() < count)
        out << QString();
    return out;
}

// The display name after a change of the first or last name: the old name
// in it replaced by the new where it stands there once, else made afresh.
QString displayName(QString fn, const Contact& base, const Contact& now, const QStringList& n)
{
    bool replaced = true;
    for (const Field f : {FirstName, LastName}) {
        if (base[f] == now[f])
            continue;
        if (base[f].isEmpty() || fn.count(base[f]) != 1)
            replaced = false;
        else
            fn.replace(base[f], now[f]);
    }
    if (replaced)
        return fn.simplified();
    QStringList words;
    for (const QString& w : {n.value(3), now[FirstName], n.value(2), now[LastName], n.value(4)})
        if (!w.trimmed().isEmpty())
            words << w.trimmed();
    return words.join(u' ');
}

QByteArray newHead(bool v21, Field f)
{
    switch (f) {
    case HomePhone:
        return v21 ? "TEL;HOME" : "TEL;TYPE=home";
    case Mobile:
        return v21 ? "TEL;CELL" : "TEL;TYPE=cell";
    case Email:
        return "EMAIL";
    case WebAddress:
        return "URL";
    case ICQ:
        return v21 ? "X-ICQ" : "IMPP";
    case Comments:
        return "NOTE";
    default:
        return v21 ? "ADR;HOME" : "ADR;TYPE=home";
    }
}

}  // namespace

WrittenObject cardFor(const QStringList& values, const QString& uid, const KeptObject& kept)
{
    Contact now;
    std::copy_n(values.begin(), std::min<qsizetype>(values.size(), FieldCount), now.begin());
    if (kept.object.isEmpty())
        return {toCard(now, uid), false};
    const VCard::ReadResult read = VCard::read(kept.object);
    if (read.cards.size() != 1 || read.malformed != 0 || kept.base.size() != FieldCount)
        return {toCard(now, uid), true};
    const VCard::Card& card = read.cards.first();
    const Imported was = fromCard(card);
    Contact base;
    std::copy(kept.base.begin(), kept.base.end(), base.begin());
    const auto changed = [&](Field f) { return base[f] != now[f]; };
    const auto source = [&](Field f) { return was.source[f] >= 0 ? &card.props[was.source[f]] : nullptr; };
    CardEdits edits(card);

    if (changed(FirstName) || changed(LastName)) {
        const VCard::Property* n = card.find(QStringLiteral("N"));
        QStringList name = n ? parts(*n, 5) : QStringList(5);
        name[0] = now[LastName];
        name[1] = now[FirstName];
        if (n)
            edits.replace(*n, name);
        else
            edits.add("N", name);
        if (const VCard::Property* fn = card.find(QStringLiteral("FN")))
            edits.replace(*fn, {displayName(VCard::unescapeText(fn->value), base, now, name)});
    }
    if (changed(HomeAddress) || changed(Suburb) || changed(PostCode)) {
        const VCard::Property* adr = source(HomeAddress);
        QStringList a = adr ? parts(*adr, 7) : QStringList(7);
        // Only what changed: a post code cut to its box goes back whole while untouched.
        const std::pair<Field, int> places[] = {{HomeAddress, 2}, {Suburb, 3}, {PostCode, 5}};
        for (const auto& [field, part] : places)
            if (changed(field))
                a[part] = now[field];
        const bool empty = std::all_of(a.begin(), a.end(), [](const QString& s) { return s.trimmed().isEmpty(); });
        if (adr && empty)
            edits.remove(*adr);
        else if (adr)
            edits.replace(*adr, a);
        else if (!empty)
            edits.add(newHead(edits.is21(), HomeAddress), a);
    }
    for (const Field f : {HomePhone, Mobile, Email, WebAddress, ICQ, Comments}) {
        if (!changed(f))
            continue;
        const VCard::Property* p = source(f);
        QString value = now[f];
        const QString old = p ? VCard::unescapeText(p->value).trimmed() : QString();
        // The form the value was written in stays: a number as a tel: address, ICQ as an icq: one.
        if ((f == HomePhone || f == Mobile) && old.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
            value.prepend(old.left(4));
        if (f == ICQ && (p ? p->name == u"IMPP" : !edits.is21()))
            value.prepend(p ? old.left(4) : QStringLiteral("icq:"));
        if (f == Comments)
            for (const VCard::Property& note : card.props)
                if (note.name == u"NOTE" && &note != p)
                    edits.remove(note);  // the comments were all of them joined
        if (p && now[f].isEmpty())
            edits.remove(*p);
        else if (p)
            edits.replace(*p, {value});
        else if (!now[f].isEmpty())
            edits.add(newHead(edits.is21(), f), {value});
    }
    if (!card.find(QStringLiteral("UID")))
        edits.add("UID", {uid});  // so that the file read again finds this record
    return {edits.result(), false};
}

WrittenObject outgoingCard(SyncRecords& rows, const QString& uid, const QStringList& values)
{
    return cardFor(values, uid, rows.kept(uid));
}
