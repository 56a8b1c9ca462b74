#include "address/ContactSheet.h"

#include <memory>

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

#include "kit/Clock.h"
#include "kit/MsgBox.h"
#include "window/Printing.h"

const QString kNoPrinter = QStringLiteral("No printer is available.");

namespace {
const QString kPrintFailed =
    QStringLiteral("The contact sheet could not be printed: the printer did not accept the job.");
constexpr int kPointSize = 10;

QString blanks(int n)
{
    return QString(n, QLatin1Char(' '));
}

// Each label carries its own trailing blanks; the run after it is counted separately.
ContactSheet::Line field(const char* label, int run, const QString& value)
{
    return {blanks(5) + QLatin1String(label) + blanks(run), value};
}

// Lays out lines top to bottom, a page at a time, and draws the rules.
class SheetWriter {
public:
    SheetWriter(QPainter& painter, QPrinter& printer)
        : m_painter(painter)
        , m_printer(printer)
    {
        // Only the size is the sheet's; the face is fixed-pitch so that the
        // runs of blanks keep their width on every printer.
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSize(kPointSize);
        m_painter.setFont(font);
        const QFontMetricsF metrics(m_painter.font(), &m_printer);
        m_lineHeight = metrics.lineSpacing();
        m_ascent = metrics.ascent();
        m_blank = metrics.horizontalAdvance(QLatin1Char(' '));
        const QRectF page = m_painter.viewport();
        m_width = page.width();
        m_height = page.height();
        m_columns = m_blank > 0 ? std::max(1, int(m_width / m_blank)) : 1;
    }

    bool ok() const { return m_ok; }

    // A line too wide for the page goes on below, from the value's column,
    // so that long values such as the comments print whole.
    void print(const QString& lead, const QString& value)
    {
        const int indent = lead.size() < m_columns / 2 ? int(lead.size()) : 0;
        const QStringList paragraphs = value.split(QLatin1Char('\n'));
        QString line = lead;
        for (int p = 0; p < paragraphs.size(); ++p) {
            if (p > 0) {
                put(line);
                line = blanks(indent);
            }
            QString rest = paragraphs[p];
            while (line.size() + rest.size() > m_columns) {
                const int room = std::max(1, m_columns - int(line.size()));
                int cut = int(rest.lastIndexOf(QLatin1Char(' '), room));
                if (cut <= 0)
                    cut = room;
                put(line + rest.left(cut));
                rest = rest.mid(cut);
                while (rest.startsWith(QLatin1Char(' ')))
                    rest.remove(0, 1);
                line = blanks(indent);
            }
            line += rest;
        }
        put(line);
    }

    void rule()
    {
        const qreal y = m_top - m_lineHeight + m_ascent + m_lineHeight / 4;
        m_painter.setPen(QPen(Qt::black, 0));
        m_painter.drawLine(QPointF(0, y), QPointF(m_width, y));
    }

private:
    void put(const QString& text)
    {
        if (m_top + m_lineHeight > m_height && m_top > 0) {
            m_ok = m_ok && m_printer.newPage();
            m_top = 0;
        }
        m_painter.drawText(QPointF(0, m_top + m_ascent), text);
        m_top += m_lineHeight;
    }

    QPainter& m_painter;
    QPrinter& m_printer;
    qreal m_lineHeight = 0, m_ascent = 0, m_blank = 0, m_width = 0, m_height = 0, m_top = 0;
    int m_columns = 1;
    bool m_ok = true;
};
}  // namespace

QString ContactSheet::heading(QDate today)
{
    return blanks(30) + QStringLiteral("Contact Information") + blanks(10) + Clock::dateText(today);
}

QList<ContactSheet::Line> ContactSheet::lines() const
{
    return {
        field("First Name ", 9, contact[Contact::FirstName]),
        field("Last Name   ", 9, contact[Contact::LastName]),
        {},
        field("Address     ", 10, contact[Contact::HomeAddress]),
        field("Suburb      ", 10, contact[Contact::Suburb]),
        field("Post Code   ", 9, contact[Contact::PostCode]),
        field("Email       ", 11, contact[Contact::Email]),
        field("Web Page    ", 9, contact[Contact::WebAddress]),
        {},
        field("Phone       ", 11, contact[Contact::HomePhone]),
        field("Mobile      ", 11, contact[Contact::Mobile]),
        field("Fax         ", 12, fax),
        field("ICQ        ", 11, contact[Contact::ICQ]),
        {},
        field("Comment   ", 11, contact[Contact::Comments]),
    };
}

void printContactSheet(const ContactSheet& sheet)
{
    std::unique_ptr<QPrinter> printer = defaultPrinter();
    if (!printer) {
        MsgBox(kNoPrinter, MsgButtons::OKOnly, MsgIcon::Exclamation);
        return;
    }
    QPainter painter;
    if (!painter.begin(printer.get())) {
        MsgBox(kPrintFailed, MsgButtons::OKOnly, MsgIcon::Critical);
        return;
    }
    SheetWriter writer(painter, *printer);
    writer.print(ContactSheet::heading(Clock::today()), QString());
    writer.rule();
    writer.print(QString(), QString());
    for (const ContactSheet::Line& line : sheet.lines())
        writer.print(line.lead, line.value);
    writer.rule();
    if (!painter.end() || !writer.ok())
        MsgBox(kPrintFailed, MsgButtons::OKOnly, MsgIcon::Critical);
}
