#pragma once

#include <QString>
#include <QTextEdit>

#include <atomic>
#include <memory>
#include <stdexcept>

// A failure of the rich-text box (a file that cannot be read or written, an
// invalid property value), with a reason a person can read.
class RichTextBoxError : public std::runtime_error {
public:
    explicit RichTextBoxError(const QString& reason)
        : std::runtime_error(reason.toStdString())
    {
    }
    QString reason() const { return QString::fromStdString(what()); }
};

// The rich-text box the screens are written for:
// a QTextEdit that reads and writes its content as RTF. Positions count
// characters from 0; a paragraph break is one character, "\n" in Text() and
// SelText(), so Text().indexOf(s) is a position the box understands.
class RichTextBox : public QTextEdit {
    Q_OBJECT
public:
    // Option bits of Find (the rich-text box's own values).
    enum FindOption { rtfWholeWord = 2, rtfMatchCase = 4, rtfNoHighlight = 8 };

    explicit RichTextBox(QWidget* parent = nullptr);

    // The whole content as RTF source. Setting text that is not RTF shows it
    // as plain text. Either way the undo history starts afresh.
    QString TextRTF() const;
    void setTextRTF(const QString& rtf);

    // Replaces the content with the file, read as RTF; a file that is not RTF
    // is shown as plain text. The insertion point goes to 0 and the undo
    // history starts afresh. Throws RichTextBoxError when the file cannot be
    // read, leaving the content as it was.
    void LoadFile(const QString& path);
    // Saving is the caller's: TextRTF() is ASCII, its Latin-1 bytes are the file.

    // A file's content read into a document of its own, as LoadFile reads
    // it. No widget is involved, so a large file can be read on another
    // thread (the document then has to be moved to the box's thread). Once
    // `stop` is set, reading ends soon with a part of the content.
    static std::unique_ptr<QTextDocument> readDocument(const QByteArray& data, const std::atomic<bool>* stop = nullptr);
    // Shows such a document instead of the current one, as LoadFile would.
    void takeDocument(std::unique_ptr<QTextDocument> doc);

    QString Text() const;

    // The insertion point (start of the selection). Setting it clears the
    // selection; values past either end go to that end.
    int SelStart() const;
    void setSelStart(int position);
    // Setting it selects from SelStart() forward, up to the end of the text.
    int SelLength() const;
    void setSelLength(int length);

    // The selection as plain text, and as a whole RTF document. Replacing
    // either with nothing selected inserts at the insertion point; afterwards
    // the insertion point stands behind the inserted text, nothing selected.
    // Replacing the RTF with text that is not RTF inserts it as plain text.
    QString SelText() const;
    void setSelText(const QString& text);
    QString SelRTF() const;
    void setSelRTF(const QString& rtf);

    // Searches [start, end) for text and selects the first occurrence (unless
    // rtfNoHighlight); returns its position or -1. Without start the search
    // begins at the insertion point; without end it runs to the end of the
    // text, except that with neither given and a selection, only the
    // selection is searched. Case is ignored unless rtfMatchCase (4) is given.
    // An empty text is never found.
    int Find(const QString& text, int start = -1, int end = -1, int options = 0);

    // The width at which lines wrap, in twips; 0 wraps at the box's edge.
    // A negative value throws RichTextBoxError ("Invalid property value").
    int RightMargin() const;
    void setRightMargin(int twips);

protected:
    void changeEvent(QEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void useInstalledFace();
    void loadBytes(const QByteArray& data);
    int lastPosition() const;

    int m_rightMargin = 0;
};
