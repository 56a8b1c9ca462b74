#include "CalcEngine.h"

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include <locale.h>
#include <stdlib.h>

namespace {

// The display never shows more, so an operand stops taking digits here rather
// than growing a text the next operator would round away.
constexpr int kMaxDigits = 15;

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Digits of an operand being typed; the zero that stands before a bare point
// is not a significant one.
int enteredDigits(const QString& operand)
{
    int n = 0;
    for (QChar c : operand)
        if (c >= u'0' && c <= u'9')
            ++n;
    if (operand.startsWith(u" 0."))
        --n;
    return n;
}

// The application object switches the C library to the user's locale, which
// may want "," as the decimal separator; operand texts always use ".".
double parseCLocale(const std::string& number)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return strtod_l(number.c_str(), nullptr, cLocale);
}

}  // namespace

QString canonicalText(double value)
{
    if (!std::isfinite(value))
        return CalcEngine::kFaultText;
    // The exact decimal expansion of the double (never more than 767
    // significant digits), so the rounding to 15 digits is decided on the true
    // value and a half rounds away from zero, as people round by hand.
    char buf[800];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 780);
    const std::string_view exact(buf, res.ptr - buf);
    const auto ePos = exact.find('e');
    int exponent = 0;
    std::from_chars(exact.data() + ePos + 2, exact.data() + exact.size(), exponent);
    if (exact[ePos + 1] == '-')
        exponent = -exponent;

    std::string digits;
    digits += exact[0];
    digits.append(exact.substr(2, kMaxDigits - 1));
    if (exact[2 + kMaxDigits - 1] >= '5') {
        int i = kMaxDigits - 1;
        while (i >= 0 && digits[i] == '9')
            digits[i--] = '0';
        if (i >= 0) {
            ++digits[i];
        } else {
            digits.insert(digits.begin(), '1');
            digits.pop_back();
            ++exponent;
        }
    }
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    // Negative zero, from products such as -2 * 0, takes the blank of zero.
    std::string text(1, value < 0 ? '-' : ' ');
    if (exponent >= 15 || exponent < -4) {
        text += digits[0];
        if (digits.size() > 1) {
            text += '.';
            text.append(digits, 1);
        }
        text += exponent < 0 ? "E-" : "E+";
        const int magnitude = std::abs(exponent);
        if (magnitude < 10)
            text += '0';
        text += std::to_string(magnitude);
    } else if (exponent >= 0) {
        const std::size_t whole = std::size_t(exponent) + 1;
        if (digits.size() <= whole) {
            text += digits;
            text.append(whole - digits.size(), '0');
        } else {
            text.append(digits, 0, whole);
            text += '.';
            text.append(digits, whole);
        }
    } else {
        text += '.';
        text.append(std::size_t(-exponent - 1), '0');
        text += digits;
    }
    return QString::fromLatin1(text);
}

std::optional<double> textToNumber(const QString& text)
{
    // Blanks may stand anywhere, even between digits: an operand grows by
    // appending " 7" to its text.
    std::string s;
    s.reserve(std::size_t(text.size()));
    for (QChar c : text) {
        if (isBlank(c.unicode()))
            continue;
        // Anything outside ASCII ends the number; '\x01' is never part of one.
        s += c.unicode() < 0x80 ? char(c.unicode()) : '\x01';
    }

    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    bool sawDigit = false;
    bool sawPoint = false;
    for (; i < s.size(); ++i) {
        if (isDigit(s[i]))
            sawDigit = true;
        else if (s[i] == '.' && !sawPoint)
            sawPoint = true;
        else
            break;
    }
    if (!sawDigit)
        return 0.0;

    std::size_t end = i;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        const std::size_t firstExponentDigit = j;
        while (j < s.size() && isDigit(s[j]))
            ++j;
        if (j > firstExponentDigit)
            end = j;
    }
    s.resize(end);

    const double value = parseCLocale(s);
    if (std::isinf(value))
        return std::nullopt;
    return value;
}

CalcEngine::CalcEngine()
{
    load();
}

void CalcEngine::load()
{
    StartNew = false;
    clearCalculation();
    Display = kStartText;
}

QString& CalcEngine::operandBeingEntered()
{
    return PendingOp == Op::None ? FirstNum : SecondNum;
}

void CalcEngine::digit(int d)
{
    if (d < 0 || d > 9)
        return;
    if (StartNew) {
        clearCalculation();
        StartNew = false;
    }
    QString& operand = operandBeingEntered();
    // A sixteenth digit would be rounded away by the display (and once in
    // scientific form, a further one would land in the exponent).
    if (enteredDigits(operand) >= kMaxDigits)
        return;
    if (FractionEntry) {
        operand += QChar(u'0' + d);
    } else {
        const auto value = textToNumber(operand + canonicalText(d));
        if (!value) {
            fault();
            return;
        }
        operand = canonicalText(*value);
    }
    if (PendingOp == Op::None)
        Display = FirstNum;
}

void CalcEngine::point()
{
    if (StartNew) {
        clearCalculation();
        StartNew = false;
    }
    QString& operand = operandBeingEntered();
    // A number already in scientific form has its point; one typed point is
    // all a number can take.
    if (operand.contains(u'.') || operand.contains(u'E'))
        return;
    if (operand.isEmpty())
        operand = QStringLiteral(" 0");
    operand += u'.';
    FractionEntry = true;
    if (PendingOp == Op::None)
        Display = FirstNum;
}

void CalcEngine::op(int index)
{
    if (index < 0 || index > 3)
        return;
    if (!finishFractionEntry() || !applyPendingOp()) {
        fault();
        return;
    }
    Display = FirstNum;
    StartNew = false;
    PendingOp = Op(index + 1);
}

void CalcEngine::equals()
{
    if (!finishFractionEntry() || !applyPendingOp()) {
        fault();
        return;
    }
    Display = FirstNum;
    PendingOp = Op::None;
    StartNew = true;
}

void CalcEngine::allClear()
{
    clearCalculation();
    Display = kStartText;
}

// A fraction keeps its typed form only while it is being typed; whatever uses
// it sees the same canonical text as any other operand.
bool CalcEngine::finishFractionEntry()
{
    if (!FractionEntry)
        return true;
    FractionEntry = false;
    QString& operand = operandBeingEntered();
    const auto value = textToNumber(operand);
    if (!value)
        return false;
    operand = canonicalText(*value);
    return true;
}

bool CalcEngine::applyPendingOp()
{
    if (PendingOp == Op::None)
        return true;
    const auto a = textToNumber(FirstNum);
    const auto b = textToNumber(SecondNum);
    if (!a || !b)
        return false;
    double result = 0;
    switch (PendingOp) {
    case Op::None:
        break;
    case Op::Add:
        result = *a + *b;
        break;
    case Op::Subtract:
        result = *a - *b;
        break;
    case Op::Multiply:
        result = *a * *b;
        break;
    case Op::Divide:
        result = *a / *b;
        break;
    }
    // The operands are finite, so the only ways out of the finite range are
    // overflow (infinity), division by zero (infinity) and 0 / 0 (NaN).
    if (!std::isfinite(result))
        return false;
    FirstNum = canonicalText(result);
    SecondNum.clear();
    return true;
}

// StartNew is left alone: with both operands gone it makes no difference.
void CalcEngine::fault()
{
    clearCalculation();
    Display = kFaultText;
}

void CalcEngine::clearCalculation()
{
    FirstNum.clear();
    SecondNum.clear();
    PendingOp = Op::None;
    FractionEntry = false;
}
