#include "planner/frmRepeat.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "controls/Controls.h"
#include "controls/Twips.h"
#include "kit/Clock.h"

namespace {
const QString kCaption = QStringLiteral("Custom repeat");
const QString kFrequencyLabel = QStringLiteral("Repeats");
const QStringList kFrequencies = {QStringLiteral("Daily"), QStringLiteral("Weekly"), QStringLiteral("Monthly"),
                                  QStringLiteral("Yearly")};
const QString kIntervalLabel = QStringLiteral("Every");
const QStringList kUnits = {QStringLiteral("day(s)"), QStringLiteral("week(s)"), QStringLiteral("month(s)"),
                            QStringLiteral("year(s)")};
const QString kOnDay = QStringLiteral("On day %1");
const QString kOnLastDay = QStringLiteral("On the last day");
const QString kOnThe = QStringLiteral("On the %1 %2");
const QString kEnds = QStringLiteral("Ends");
const QString kNever = QStringLiteral("Never");
const QString kUntil = QStringLiteral("On");
const QString kUntilName = QStringLiteral("End date");
const QString kCount = QStringLiteral("After");
const QString kCountName = QStringLiteral("Number of times");
const QString kTimes = QStringLiteral("times");
const QString kOK = QStringLiteral("OK");
const QString kCancel = QStringLiteral("Cancel");
constexpr int kMostTimes = 999;
}  // namespace

frmRepeat::frmRepeat()
{
    setObjectName(QStringLiteral("frmRepeat"));
    setWindowTitle(kCaption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
    setFixedSize(twips(5400), twips(4380));

    lblFrequency = makeControl<QLabel>(this, "lblFrequency", twipsRect(120, 150, 900, 255), kFrequencyLabel);
    cboFrequency = makeControl<QComboBox>(this, "cboFrequency", twipsRect(1080, 120, 1800, 315));
    cboFrequency->addItems(kFrequencies);
    lblFrequency->setBuddy(cboFrequency);

    lblInterval = makeControl<QLabel>(this, "lblInterval", twipsRect(120, 570, 900, 255), kIntervalLabel);
    spnInterval = makeControl<QSpinBox>(this, "spnInterval", twipsRect(1080, 540, 900, 315));
    spnInterval->setRange(1, 99);
    lblInterval->setBuddy(spnInterval);
    lblUnit = makeControl<QLabel>(this, "lblUnit", twipsRect(2070, 570, 1200, 255));

    for (int d = 0; d < 7; ++d) {
        chkDay[std::size_t(d)] =
            makeControl<QCheckBox>(this, QStringLiteral("chkDay_%1").arg(d + 1),
                                   twipsRect(120 + d * 735, 1020, 735, 285), RepeatRule::dayName(d + 1, true));
        chkDay[std::size_t(d)]->setAccessibleName(RepeatRule::dayName(d + 1));
    }
    optMonthDay = makeControl<QRadioButton>(this, "optMonthDay", twipsRect(120, 960, 5160, 285));
    optMonthPosition = makeControl<QRadioButton>(this, "optMonthPosition", twipsRect(120, 1290, 5160, 285));
    auto* monthly = new QButtonGroup(this);
    monthly->addButton(optMonthDay);
    monthly->addButton(optMonthPosition);

    fraEnd = makeControl<QGroupBox>(this, "fraEnd", twipsRect(120, 1740, 5160, 1560), kEnds);
    optNever = makeControl<QRadioButton>(fraEnd, "optNever", twipsRect(120, 300, 1000, 285), kNever);
    optUntil = makeControl<QRadioButton>(fraEnd, "optUntil", twipsRect(120, 720, 1000, 285), kUntil);
    dtpUntil = makeControl<QDateEdit>(fraEnd, "dtpUntil", twipsRect(1140, 690, 1800, 315));
    dtpUntil->setCalendarPopup(true);
    dtpUntil->setAccessibleName(kUntilName);
    optCount = makeControl<QRadioButton>(fraEnd, "optCount", twipsRect(120, 1140, 1000, 285), kCount);
    spnCount = makeControl<QSpinBox>(fraEnd, "spnCount", twipsRect(1140, 1110, 900, 315));
    spnCount->setRange(1, kMostTimes);
    spnCount->setAccessibleName(kCountName);
    lblTimes = makeControl<QLabel>(fraEnd, "lblTimes", twipsRect(2130, 1140, 1000, 255), kTimes);

    lblSummary = makeControl<QLabel>(this, "lblSummary", twipsRect(120, 3390, 5160, 375));
    lblSummary->setWordWrap(true);

    cmdOK = makeControl<QPushButton>(this, "cmdOK", twipsRect(2850, 3870, 1155, 375), kOK);
    cmdCancel = makeControl<QPushButton>(this, "cmdCancel", twipsRect(4125, 3870, 1155, 375), kCancel);
    Keys::setDefaultButton(this, cmdOK);
    Keys::setCancelButton(this, cmdCancel);

    connect(cboFrequency, &QComboBox::currentIndexChanged, this, &frmRepeat::showChoices);
    connect(spnInterval, &QSpinBox::valueChanged, this, &frmRepeat::showChoices);
    connect(spnCount, &QSpinBox::valueChanged, this, &frmRepeat::showChoices);
    connect(dtpUntil, &QDateEdit::dateChanged, this, &frmRepeat::showChoices);
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{chkDay[0], chkDay[1], chkDay[2], chkDay[3],
                                                                      chkDay[4], chkDay[5], chkDay[6], optMonthDay,
                                                                      optMonthPosition, optNever, optUntil, optCount})
        connect(b, &QAbstractButton::toggled, this, &frmRepeat::showChoices);
    connect(cmdOK, &QPushButton::clicked, this, &frmRepeat::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmRepeat::cmdCancel_Click);
}

void frmRepeat::Form_Load()
{
    setChoices(RepeatRule::Choices{}, Clock::today());
}

void frmRepeat::setChoices(const RepeatRule::Choices& c, QDate first)
{
    m_first = first;
    m_monthDay = c.monthDay ? c.monthDay : first.day();
    m_position = c.position ? c.position : RepeatRule::positionOf(first);
    m_weekday = c.position ? c.weekday : first.dayOfWeek();
    optMonthDay->setText(m_monthDay < 0 ? kOnLastDay : kOnDay.arg(m_monthDay));
    optMonthPosition->setText(kOnThe.arg(RepeatRule::positionName(m_position), RepeatRule::dayName(m_weekday)));

    cboFrequency->setCurrentIndex(int(c.frequency));
    spnInterval->setValue(c.interval);
    for (int d = 1; d <= 7; ++d)
        chkDay[std::size_t(d - 1)]->setChecked(c.weekdays.isEmpty() ? d == first.dayOfWeek() : c.weekdays.contains(d));
    (c.position ? optMonthPosition : optMonthDay)->setChecked(true);
    dtpUntil->setMinimumDate(first);
    dtpUntil->setDate(c.until.isValid() ? c.until : first.addMonths(1));
    spnCount->setValue(c.count > 0 ? c.count : 10);
    (c.count > 0 ? optCount : c.until.isValid() ? optUntil : optNever)->setChecked(true);
    showChoices();
}

RepeatRule::Choices frmRepeat::choices() const
{
    RepeatRule::Choices c;
    c.frequency = RepeatRule::Frequency(cboFrequency->currentIndex());
    c.interval = spnInterval->value();
    if (c.frequency == RepeatRule::Frequency::Weekly) {
        for (int d = 1; d <= 7; ++d)
            if (chkDay[std::size_t(d - 1)]->isChecked())
                c.weekdays << d;
        // The first day's weekday alone is what a weekly rule does anyway.
        if (c.weekdays == QList<int>{m_first.dayOfWeek()})
            c.weekdays.clear();
    }
    if (c.frequency == RepeatRule::Frequency::Monthly) {
        if (optMonthPosition->isChecked()) {
            c.position = m_position;
            c.weekday = m_weekday;
        } else if (m_monthDay != m_first.day()) {
            c.monthDay = m_monthDay;
        }
    }
    if (optCount->isChecked())
        c.count = spnCount->value();
    else if (optUntil->isChecked())
        c.until = dtpUntil->date();
    return c;
}

void frmRepeat::showChoices()
{
    const auto f = RepeatRule::Frequency(cboFrequency->currentIndex());
    lblUnit->setText(kUnits.value(cboFrequency->currentIndex()));
    for (QCheckBox* day : chkDay)
        day->setVisible(f == RepeatRule::Frequency::Weekly);
    optMonthDay->setVisible(f == RepeatRule::Frequency::Monthly);
    optMonthPosition->setVisible(f == RepeatRule::Frequency::Monthly);
    dtpUntil->setEnabled(optUntil->isChecked());
    spnCount->setEnabled(optCount->isChecked());
    lblSummary->setText(RepeatRule::summaryOf(choices()));
}

void frmRepeat::cmdOK_Click()
{
    emit chosen(choices());
    Screens::unload<frmRepeat>();
}

void frmRepeat::cmdCancel_Click()
{
    Screens::unload<frmRepeat>();
}
