#include "address/ContactSheet.h"

#include <memory>

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

#include "kit/Clock.h"
#include "kit/MsgBox.h"
#include "kit/Printing.h"

const QString kNoPrinter = QStringLiteral("No printer is available.");

namespace {
const QString kPrintFailed = QStringLiteral("The contact sheet could not be printed: the printer did not accept the job.");
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
    SheetWriter(QPainter& painter, QPrinter& printer) : painter_(painter), printer_(printer)
    {
        // Only the size is the sheet's; the face is fixed-pitch so that the
        // runs of blanks keep their width on every printer.
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSize(kPointSize);
        painter_.setFont(font);
        const QFontMetricsF metrics(painter_.font(), &printer_);
        lineHeight_ = metrics.lineSpacing();
        ascent_ = metrics.ascent();
        blank_ = metrics.horizontalAdvance(QLatin1Char(' '));
        const QRectF page = painter_.viewport();
        width_ = page.width();
        height_ = page.height();
        columns_ = blank_ > 0 ? std::max(1, int(width_ / blank_)) : 1;
    }

    bool ok() const { return ok_; }

    // A line too wide for the page goes on below, from the value's column,
    // so that long values such as the comments print whole.
    void print(const QString& lead, const QString& value)
    {
        const int indent = lead.size() < columns_ / 2 ? int(lead.size()) : 0;
        const QStringList paragraphs = value.split(QLatin1Char('\n'));
        QString line = lead;
        for (int p = 0; p < paragraphs.size(); ++p) {
            if (p > 0) {
                put(line);
                line = blanks(indent);
            }
            QString rest = paragraphs[p];
            while (line.size() + rest.size() > columns_) {
                const int room = std::max(1, columns_ - int(line.size()));
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
        const qreal y = top_ - lineHeight_ + ascent_ + lineHeight_ / 4;
        painter_.setPen(QPen(Qt::black, 0));
        painter_.drawLine(QPointF(0, y), QPointF(width_, y));
    }

private:
    void put(const QString& text)
    {
        if (top_ + lineHeight_ > height_ && top_ > 0) {
            ok_ = ok_ && printer_.newPage();
            top_ = 0;
        }
        painter_.drawText(QPointF(0, top_ + ascent_), text);
        top_ += lineHeight_;
    }

    QPainter& painter_;
    QPrinter& printer_;
    qreal lineHeight_ = 0, ascent_ = 0, blank_ = 0, width_ = 0, height_ = 0, top_ = 0;
    int columns_ = 1;
    bool ok_ = true;
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
