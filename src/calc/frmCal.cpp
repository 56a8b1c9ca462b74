#include "calc/frmCal.h"

#include <QGuiApplication>
#include <QIcon>
#include <QKeySequence>
#include <QLineEdit>
#include <QScreen>

#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/Twips.h"

namespace {
const QString kCaption = QStringLiteral("Calculator");
const QString kDisplayName = QStringLiteral("Display");
const QString kOperatorCaptions[4] = {QStringLiteral("+"), QStringLiteral("-"), QStringLiteral("x"),
                                      QStringLiteral("/")};

constexpr int kKey = 495;  // every key is this square, "=" is two rows high

// Where digit d sits on the keypad, left to right and top to bottom from 1,
// with 0 after 9.
QPoint digitPosition(int d)
{
    const int slot = d == 0 ? 9 : d - 1;
    return QPoint(600 * (slot % 4), 480 + 600 * (slot / 4));
}

const QPoint kOperatorPositions[4] = {{2400, 480}, {2400, 1080}, {2400, 1680}, {3000, 480}};

asxToolButton* key(QWidget* parent, const QString& name, const QString& caption, QPoint at, int height = kKey)
{
    auto* b = makeControl<asxToolButton>(parent, name, twipsRect(at.x(), at.y(), kKey, height));
    b->setText(caption);
    b->setAutoRaise(false);
    b->setFocusPolicy(Qt::NoFocus);
    // The keyboard types what the key shows; "*" is the times key and Delete clears.
    b->setShortcut(QKeySequence(caption == QStringLiteral("x")    ? QStringLiteral("*")
                                : caption == QStringLiteral("AC") ? QStringLiteral("Del")
                                                                  : caption));
    QFont font = b->font();
    font.setBold(true);
    b->setFont(font);
    return b;
}
}  // namespace

frmCal::frmCal()
{
    setObjectName(QStringLiteral("frmCal"));
    setWindowTitle(kCaption);
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    // A tool window stays out of the task bar; it still keeps the program
    // running after the main window has gone, like any other window.
    setWindowFlags(Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_QuitOnClose, true);
    setFixedSize(twips(3570), twips(2220));

    txtDisp = makeTextBox(this, "txtDisp", twipsRect(0, 0, 3495, 375));
    txtDisp->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Nothing reads the display back, so typing into it would only mislead.
    txtDisp->setReadOnly(true);
    txtDisp->setFocusPolicy(Qt::NoFocus);
    txtDisp->setAccessibleName(kDisplayName);

    for (int d = 0; d < 10; ++d) {
        cmdNum[d] = key(this, QStringLiteral("cmdNum_%1").arg(d), QString::number(d), digitPosition(d));
        connect(cmdNum[d], &QToolButton::clicked, this, [this, d] { cmdNum_Click(d); });
    }
    for (int k = 0; k < 4; ++k) {
        cmdOp[k] = key(this, QStringLiteral("cmdOp_%1").arg(k), kOperatorCaptions[k], kOperatorPositions[k]);
        connect(cmdOp[k], &QToolButton::clicked, this, [this, k] { cmdOp_Click(k); });
    }
    cmdPt = key(this, QStringLiteral("cmdPt"), QStringLiteral("."), {1200, 1680});
    cmdAC = key(this, QStringLiteral("cmdAC"), QStringLiteral("AC"), {1800, 1680});
    cmdEQ = key(this, QStringLiteral("cmdEQ"), QStringLiteral("="), {3000, 1080}, 1095);
    Keys::setDefaultButton(this, cmdEQ);
    connect(cmdPt, &QToolButton::clicked, this, &frmCal::cmdPt_Click);
    connect(cmdAC, &QToolButton::clicked, this, &frmCal::cmdAC_Click);
    connect(cmdEQ, &QToolButton::clicked, this, &frmCal::cmdEQ_Click);
}

void frmCal::Form_Load()
{
    m_engine.load();
    showDisplay();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void frmCal::cmdNum_Click(int Index)
{
    m_engine.digit(Index);
    showDisplay();
}

void frmCal::cmdOp_Click(int Index)
{
    m_engine.op(Index);
    showDisplay();
}

void frmCal::cmdPt_Click()
{
    m_engine.point();
    showDisplay();
}

void frmCal::cmdAC_Click()
{
    m_engine.allClear();
    showDisplay();
}

void frmCal::cmdEQ_Click()
{
    m_engine.equals();
    showDisplay();
}

void frmCal::showDisplay()
{
    txtDisp->setText(m_engine.display());
}
