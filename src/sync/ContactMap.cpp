#include "sync/ContactMap.h"

#include <QCryptographicHash>
#include <QHash>
#include <QStringList>
#include <QUtf8StringView>

#include <optional>

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

// The label a phone gives a property of a group (item1.X-ABLabel:_$!<Other>!$_).
QString groupLabel(const VCard::Card& card, const QString& group)
{
    if (group.isEmpty())
        return {};
    for (const VCard::Property& p : card.props)
        if (p.name == u"X-ABLABEL" && p.group.compare(group, Qt::CaseInsensitive) == 0) {
            QString label = VCard::unescapeText(p.value).trimmed();
            if (label.startsWith(QLatin1String("_$!<")) && label.endsWith(QLatin1String(">!$_")))
                label = label.mid(4, label.size() - 8);
            return label.toLower();
        }
    return {};
}

QString labelled(const QString& label, const QStringList& types, const QString& value)
{
    QStringList shown;
    for (const QString& t : types)
        if (!t.isEmpty() && t != u"pref" && t != u"internet" && t != u"voice" && !shown.contains(t))
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

// How much the card prefers the property: PREF=1 most, then TYPE=pref, then the rest.
int preference(const VCard::Property& p)
{
    bool number = false;
    const int pref = p.param(QStringLiteral("PREF")).toInt(&number);
    if (number && pref >= 1)
        return pref;
    return p.types().contains(u"pref") ? 1 : 101;
}

// The captions of the properties the address book has no field for.
QString caption(const QString& name)
{
    static const QHash<QString, QString> captions{
        {QStringLiteral("BDAY"), QStringLiteral("Birthday")},
        {QStringLiteral("ANNIVERSARY"), QStringLiteral("Anniversary")},
        {QStringLiteral("ORG"), QStringLiteral("Organization")},
        {QStringLiteral("TITLE"), QStringLiteral("Title")},
        {QStringLiteral("ROLE"), QStringLiteral("Role")},
        {QStringLiteral("NICKNAME"), QStringLiteral("Nickname")},
        {QStringLiteral("CATEGORIES"), QStringLiteral("Categories")},
        {QStringLiteral("GENDER"), QStringLiteral("Gender")},
        {QStringLiteral("LANG"), QStringLiteral("Language")},
        {QStringLiteral("TZ"), QStringLiteral("Time zone")},
        {QStringLiteral("GEO"), QStringLiteral("Position")},
        {QStringLiteral("RELATED"), QStringLiteral("Related")},
        {QStringLiteral("MEMBER"), QStringLiteral("Member")},
    };
    return captions.value(name, name.left(1) + name.mid(1).toLower());
}

}  // namespace

Imported fromCard(const VCard::Card& card)
{
    Imported in;
    Contact& c = in.contact;
    in.source.fill(-1);
    QStringList& more = in.more;
    QStringList notes;

    const auto at = [&](const VCard::Property* p) { return qsizetype(p - card.props.constData()); };
    const VCard::Property* homeAddress = nullptr;
    const VCard::Property* email = nullptr;
    for (const VCard::Property& p : card.props) {
        if (p.name == u"ADR"
            && (!homeAddress || (p.types().contains(u"home") && !homeAddress->types().contains(u"home"))))
            homeAddress = &p;
        if (p.name == u"EMAIL" && !VCard::unescapeText(p.value).trimmed().isEmpty()
            && (!email || preference(p) < preference(*email)))
            email = &p;
    }

    QList<const VCard::Property*> untypedPhones;
    for (const VCard::Property& p : card.props) {
        const QString text = VCard::unescapeText(p.value).trimmed();
        QStringList types = p.types();
        if (const QString label = groupLabel(card, p.group); !label.isEmpty())
            types << label;
        if (p.name == u"UID") {
            in.uid = p.value.trimmed();
        } else if (p.name == u"N") {
            const QStringList n = VCard::components(p.value);
            c[LastName] = n.value(0).trimmed();
            c[FirstName] = n.value(1).trimmed();
            in.source[LastName] = in.source[FirstName] = at(&p);
            // Middle names, prefixes and suffixes have no field.
            const QString rest = joinNonEmpty({n.value(3), n.value(2), n.value(4)}, QStringLiteral(" "));
            if (!rest.isEmpty())
                more << QStringLiteral("Full name: ")
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
                in.source[HomeAddress] = in.source[Suburb] = in.source[PostCode] = at(&p);
                if (code.size() > kPostCodeWidth) {
                    more << QStringLiteral("Post code: ") + code;
                    in.changed = true;
                }
                const QString rest =
                    joinNonEmpty({a.value(0), a.value(1), a.value(4), a.value(6)}, QStringLiteral(", "));
                if (!rest.isEmpty())
                    more << labelled(QStringLiteral("Address"), types, joinNonEmpty(a, QStringLiteral(", ")));
            } else {
                more << labelled(QStringLiteral("Address"), types, joinNonEmpty(a, QStringLiteral(", ")));
            }
        } else if (p.name == u"TEL") {
            QStringList kinds = p.types();
            kinds.removeAll(QStringLiteral("voice"));
            kinds.removeAll(QStringLiteral("pref"));
            // A number written as a URI (VALUE=uri) loses its scheme; a text one is kept as it is.
            const bool uri = p.param(QStringLiteral("VALUE")).compare(QLatin1String("uri"), Qt::CaseInsensitive) == 0;
            const QString number = uri ? stripScheme(text, QLatin1StringView("tel:")) : text;
            std::optional<Field> field;
            if (kinds == QStringList{QStringLiteral("cell")})
                field = Mobile;
            else if (kinds == QStringList{QStringLiteral("home")})
                field = HomePhone;
            if (kinds.isEmpty()) {
                untypedPhones << &p;
            } else if (field && c[*field].isEmpty()) {
                c[*field] = number;
                in.source[*field] = at(&p);
            } else {
                more << labelled(QStringLiteral("Phone"), types, number);
            }
        } else if (p.name == u"EMAIL") {
            if (&p == email) {
                c[Email] = text;
                in.source[Email] = at(&p);
            } else if (!text.isEmpty()) {
                more << labelled(QStringLiteral("E-mail"), types, text);
            }
        } else if (p.name == u"URL") {
            if (c[WebAddress].isEmpty()) {
                c[WebAddress] = text;
                in.source[WebAddress] = at(&p);
            } else {
                more << labelled(QStringLiteral("Web page"), types, text);
            }
        } else if (p.name == u"IMPP" || p.name == u"X-ICQ") {
            const bool icq = p.name == u"X-ICQ" || text.startsWith(QLatin1String("icq:"), Qt::CaseInsensitive);
            if (icq && c[ICQ].isEmpty()) {
                c[ICQ] = stripScheme(text, QLatin1StringView("icq:"));
                in.source[ICQ] = at(&p);
            } else {
                more << labelled(QStringLiteral("Messenger"), types, text);
            }
        } else if (p.name == u"NOTE") {
            if (notes.isEmpty())
                in.source[Comments] = at(&p);
            // Version 2.1 writes a line break as CR LF in quoted-printable; the comments hold LF.
            notes << VCard::unescapeText(p.value).replace(QLatin1String("\r\n"), QLatin1String("\n"));
        } else if (p.name == u"PHOTO" || p.name == u"LOGO" || p.name == u"SOUND" || p.name == u"KEY") {
            more << QStringLiteral("Has a %1")
                        .arg(p.name == u"PHOTO"  ? QLatin1String("photo")
                             : p.name == u"LOGO" ? QLatin1String("logo")
                             : p.name == u"KEY"  ? QLatin1String("key")
                                                 : QLatin1String("sound"));
        } else if (!isBookkeeping(p.name) && !p.name.startsWith(QLatin1String("X-")) && !text.isEmpty()) {
            const bool parts = p.name == u"ORG" || p.name == u"GENDER";
            more << labelled(caption(p.name), types,
                             parts ? joinNonEmpty(VCard::components(p.value), QStringLiteral(", ")) : text);
        }
    }
    // Phones without a kind fill the home and then the mobile number.
    for (const VCard::Property* p : untypedPhones) {
        const QString number = VCard::unescapeText(p->value).trimmed();
        if (c[HomePhone].isEmpty()) {
            c[HomePhone] = number;
            in.source[HomePhone] = at(p);
        } else if (c[Mobile].isEmpty()) {
            c[Mobile] = number;
            in.source[Mobile] = at(p);
        } else {
            more << labelled(QStringLiteral("Phone"), QStringList{groupLabel(card, p->group)}, number);
        }
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
    // The comments are the card's note and nothing else: what has no field
    // stays in the card (given back on export) and is shown beside them.
    c[Comments] = notes.join(u'\n').trimmed();
    // A field's text as the store gives it back loses a byte order mark at
    // its start; dropped here with the blanks after it, the field is what the
    // card says and writing it does not change it.
    for (QString& f : c) {
        qsizetype start = 0;
        while (start < f.size() && (f[start] == QChar::ByteOrderMark || f[start].isSpace()))
            ++start;
        if (start > 0)
            f.remove(0, start);
    }

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
