#pragma once

#include <QString>

#include <optional>

// The four-function calculator without its window. The window forwards each
// key press to one of the press functions and shows display(); nothing else
// crosses between them, so every behaviour can be tested without a widget.
//
// Operands are kept as text and pass through canonicalText() on every digit
// press, which is what gives the keypad its character: leading zeros vanish,
// and an operand takes at most fifteen digits, as many as the display shows.
class CalcEngine {
public:
    // What the display shows after a fault; the calculation is cleared.
    static inline const QString kFaultText = QStringLiteral("-E-");
    // What the display shows before the first digit and after "AC".
    static inline const QString kStartText = QStringLiteral("0");

    CalcEngine();

    void load();
    void digit(int d);
    void point();
    void op(int index);
    void equals();
    void allClear();

    const QString& display() const { return Display; }

private:
    // The operator waiting for its second operand; op(0) .. op(3) are the
    // keys in this order.
    enum class Op { None, Add, Subtract, Multiply, Divide };

    QString& operandBeingEntered();
    bool finishFractionEntry();
    bool applyPendingOp();
    void fault();
    void clearCalculation();

    QString FirstNum;
    QString SecondNum;
    Op PendingOp = Op::None;
    bool StartNew = false;
    // Set from "." until the operand is used: its digits are appended as typed
    // so that zeros after the point survive (1 . 0 5 reaches 1.05).
    bool FractionEntry = false;
    QString Display;
};

// A number as the calculator writes it: a blank or "-", at most 15 significant
// digits, no zero before the point, no trailing zeros; scientific form from
// 1E+15 up and below 1E-04. Non-finite values have no such text and give
// CalcEngine::kFaultText.
QString canonicalText(double value);

// Reads the longest leading number from text, skipping blanks anywhere; a text
// with no digits reads as 0. Returns nothing when the value lies beyond the
// double range; a value too small to represent reads as 0.
std::optional<double> textToNumber(const QString& text);
