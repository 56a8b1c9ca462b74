#include "sync/ContactMap.h"

#include <QCryptographicHash>
#include <QStringList>
#include <QUtf8StringView>

namespace ContactMap {

namespace {

// Properties that say nothing a field could hold; reading past them loses nothing.
bool isBookkeeping(const QString& name)
{
    static const QStringList names{QStringLiteral("UID"),          QStringLiteral("FN"),   QStringLiteral("PRODID"),
                                   QStringLiteral("REV"),          QStringLiteral("KIND"), QStringLiteral("SOURCE"),
                                   QStringLiteral("CLIENTPIDMAP"), QStringLiteral("LABEL")};
    return names.contains(name);
}

QString labelled(const QString& label, const QStringList& types, const QString& value)
{
    QStringList shown;
    for (const QString& t : types)
        if (!t.isEmpty() && t != u"pref" && t != u"internet" && t != u"voice")
            shown << t;
    return shown.isEmpty()
               ? label + QStringLiteral(": ") + value
               : label + QStringLiteral(" (") + shown.join(QStringLiteral(", ")) + QStringLiteral("): ") + value;
}

QString joinNonEmpty(const QStringList& parts, const QString& separator)
{
    QStringList kept;
    for (const QString& p : parts)
        if (!p.trimmed().isEmpty())
            kept << p.trimmed();
    return kept.join(separator);
}

QString stripScheme(const QString& value, QLatin1StringView scheme)
{
    return value.startsWith(scheme, Qt::CaseInsensitive) ? value.mid(scheme.size()) : value;
}

}  // namespace

Imported fromCard(const VCard::Card& card)
{
    Imported in;
    Contact& c = in.contact;
    QStringList overflow, notes;
    bool dropped = false;

    const VCard::Property* homeAddress = nullptr;
    for (const VCard::Property& p : card.props)
        if (p.name == u"ADR"
            && (!homeAddress || (p.types().contains(u"home") && !homeAddress->types().contains(u"home"))))
            homeAddress = &p;

    QList<const VCard::Property*> untypedPhones;
    for (const VCard::Property& p : card.props) {
        const QString text = VCard::unescapeText(p.value).trimmed();
        if (p.name == u"UID") {
            in.uid = p.value.trimmed();
        } else if (p.name == u"N") {
            const QStringList n = VCard::components(p.value);
            c[LastName] = n.value(0).trimmed();
            c[FirstName] = n.value(1).trimmed();
            // Middle names, prefixes and suffixes have no field.
            const QString rest = joinNonEmpty({n.value(3), n.value(2), n.value(4)}, QStringLiteral(" "));
            if (!rest.isEmpty())
                overflow << QStringLiteral("Name: ")
                                + joinNonEmpty({n.value(3), n.value(1), n.value(2), n.value(0), n.value(4)},
                                               QStringLiteral(" "));
        } else if (p.name == u"ADR") {
            const QStringList a = VCard::components(p.value);
            if (&p == homeAddress) {
                c[HomeAddress] = a.value(2).trimmed();
                c[Suburb] = a.value(3).trimmed();
                const QString code = a.value(5).trimmed();
                // Stored values never end in a blank, also where the cut makes one.
                c[PostCode] = code.left(kPostCodeWidth).trimmed();
                if (code.size() > kPostCodeWidth)
                    overflow << QStringLiteral("Post code: ") + code;
                const QString rest =
                    joinNonEmpty({a.value(0), a.value(1), a.value(4), a.value(6)}, QStringLiteral(", "));
                if (!rest.isEmpty())
                    overflow << labelled(QStringLiteral("Address"), p.types(), joinNonEmpty(a, QStringLiteral(", ")));
            } else {
                overflow << labelled(QStringLiteral("Address"), p.types(), joinNonEmpty(a, QStringLiteral(", ")));
            }
        } else if (p.name == u"TEL") {
            QStringList kinds = p.types();
            kinds.removeAll(QStringLiteral("voice"));
            kinds.removeAll(QStringLiteral("pref"));
            // A number written as a URI (VALUE=uri) loses its scheme; a text one is kept as it is.
            const bool uri = p.param(QStringLiteral("VALUE")).compare(QLatin1String("uri"), Qt::CaseInsensitive) == 0;
            const QString number = uri ? stripScheme(text, QLatin1StringView("tel:")) : text;
            QString* field = nullptr;
            if (kinds == QStringList{QStringLiteral("cell")})
                field = &c[Mobile];
            else if (kinds == QStringList{QStringLiteral("home")})
                field = &c[HomePhone];
            if (kinds.isEmpty())
                untypedPhones << &p;
            else if (field && field->isEmpty())
                *field = number;
            else
                overflow << labelled(QStringLiteral("Phone"), p.types(), number);
        } else if (p.name == u"EMAIL") {
            if (c[Email].isEmpty())
                c[Email] = text;
            else
                overflow << labelled(QStringLiteral("E-mail"), p.types(), text);
        } else if (p.name == u"URL") {
            if (c[WebAddress].isEmpty())
                c[WebAddress] = text;
            else
                overflow << labelled(QStringLiteral("Web page"), p.types(), text);
        } else if (p.name == u"IMPP" || p.name == u"X-ICQ") {
            const bool icq = p.name == u"X-ICQ" || text.startsWith(QLatin1String("icq:"), Qt::CaseInsensitive);
            if (icq && c[ICQ].isEmpty())
                c[ICQ] = stripScheme(text, QLatin1StringView("icq:"));
            else
                overflow << labelled(QStringLiteral("Messenger"), p.types(), text);
        } else if (p.name == u"NOTE") {
            notes << VCard::unescapeText(p.value);
        } else if (p.name == u"PHOTO" || p.name == u"LOGO" || p.name == u"SOUND" || p.name == u"KEY") {
            dropped = true;  // pictures and keys have no place at all
        } else if (!isBookkeeping(p.name) && !text.isEmpty()) {
            overflow << labelled(p.name.left(1) + p.name.mid(1).toLower(), p.types(), text);
        }
    }
    // Phones without a kind fill the home and then the mobile number.
    for (const VCard::Property* p : untypedPhones) {
        const QString number = VCard::unescapeText(p->value).trimmed();
        if (c[HomePhone].isEmpty())
            c[HomePhone] = number;
        else if (c[Mobile].isEmpty())
            c[Mobile] = number;
        else
            overflow << QStringLiteral("Phone: ") + number;
    }
    if (!card.find(QStringLiteral("N"))) {
        // A card with a display name only: the last word is taken as the last name.
        if (const VCard::Property* fn = card.find(QStringLiteral("FN"))) {
            const QString name = VCard::unescapeText(fn->value).simplified();
            const qsizetype space = name.lastIndexOf(u' ');
            c[FirstName] = space < 0 ? name : name.left(space);
            c[LastName] = space < 0 ? QString() : name.mid(space + 1);
        }
    }
    notes += overflow;
    c[Comments] = notes.join(u'\n').trimmed();
    in.changed = dropped || !overflow.isEmpty();

    if (in.uid.isEmpty()) {
        // Without a UID the card's own content names it, so the same file read
        // twice still adds nothing twice.
        QCryptographicHash hash(QCryptographicHash::Sha1);
        for (const QString& f : c)
            hash.addData(f.toUtf8() + '\x1f');
        in.uid = QStringLiteral("tessaly-content-") + QString::fromLatin1(hash.result().toHex());
    }
    return in;
}

namespace {
// What the text conversion the store's rows went through before makes of
// UTF-8 it cannot take as it is (invalid sequences replaced, a leading
// byte order mark dropped), so that a card is the same whichever way its
// fields come.
QByteArrayView asText(QByteArrayView utf8, QByteArray& hold)
{
    const bool mark = utf8.size() >= 3 && utf8[0] == '\xEF' && utf8[1] == '\xBB' && utf8[2] == '\xBF';
    if (!mark && QUtf8StringView(utf8).isValidUtf8())
        return utf8;
    hold = QString::fromUtf8(utf8).toUtf8();
    return hold;
}

// QString::trimmed() of the text, which only a blank or a character beyond
// ASCII at either end can change.
QByteArrayView trimmed(QByteArrayView utf8, QByteArray& hold)
{
    const auto plain = [](char c) { return uchar(c) < 0x80 && c != ' ' && (c < '\t' || c > '\r'); };
    if (utf8.isEmpty() || (plain(utf8.front()) && plain(utf8.back())))
        return utf8;
    hold = QString::fromUtf8(utf8).trimmed().toUtf8();
    return hold;
}
}  // namespace

void appendCard(QByteArray& out, const ContactBytes& fields, QByteArrayView uid)
{
    std::array<QByteArray, FieldCount + 1> held;
    ContactBytes c;
    for (int f = 0; f < FieldCount; ++f)
        c[f] = asText(fields[f], held[f]);
    uid = asText(uid, held[FieldCount]);
    // Each content line is made in `line`, then folded into the card.
    thread_local QByteArray line;
    const auto property = [&](const char* head, QByteArrayView value) {
        line.truncate(0);  // keeps its room (assigning a shorter text would not)
        line += head;
        VCard::appendEscaped(line, value);
    };
    const auto end = [&] { VCard::appendFolded(out, line); };
    out += "BEGIN:VCARD\r\nVERSION:4.0\r\n";
    line.truncate(0);
    line += "UID:";
    line += uid;
    end();
    // The names as joinNonEmpty() joins them, without a list.
    QByteArray firstHeld, lastHeld;
    const QByteArrayView first = trimmed(c[FirstName], firstHeld), last = trimmed(c[LastName], lastHeld);
    property("FN:", first);
    if (!first.isEmpty() && !last.isEmpty())
        line += ' ';
    VCard::appendEscaped(line, last);
    end();
    property("N:", c[LastName]);
    line += ';';
    VCard::appendEscaped(line, c[FirstName]);
    line += ";;;";
    end();
    if (!c[HomeAddress].isEmpty() || !c[Suburb].isEmpty() || !c[PostCode].isEmpty()) {
        property("ADR;TYPE=home:;;", c[HomeAddress]);
        line += ';';
        VCard::appendEscaped(line, c[Suburb]);
        line += ";;";
        VCard::appendEscaped(line, c[PostCode]);
        line += ';';
        end();
    }
    const std::pair<Field, const char*> simple[] = {
        {HomePhone, "TEL;TYPE=home:"}, {Mobile, "TEL;TYPE=cell:"}, {Email, "EMAIL:"},
        {WebAddress, "URL:"},          {ICQ, "IMPP:icq:"},         {Comments, "NOTE:"}};
    for (const auto& [field, head] : simple) {
        if (!c[field].isEmpty()) {
            property(head, c[field]);
            end();
        }
    }
    out += "END:VCARD\r\n";
}

QByteArray toCard(const Contact& c, const QString& uid)
{
    std::array<QByteArray, FieldCount> utf8;
    ContactBytes fields;
    for (int f = 0; f < FieldCount; ++f)
        fields[f] = utf8[f] = c[f].toUtf8();
    QByteArray out;
    appendCard(out, fields, uid.toUtf8());
    return out;
}

}  // namespace ContactMap
