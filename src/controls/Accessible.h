#pragma once

#include <QDate>
#include <QString>

class QComboBox;
class QWidget;

// What a screen reader is told about the controls that draw themselves:
// the button family reads as buttons named by their caption (never by the
// frame around them), a picture that takes clicks reads as a button, and
// the month calendar's days read as whole dates, the windows in the work
// area carry a name. The first button or calendar made installs it.
namespace Accessible {
void install();

// A widget that is not a button but acts as one when clicked (a picture, a
// label): a screen reader sees a button of this name, and pressing it
// clicks the widget's middle.
void actAsButton(QWidget* widget, const QString& name);

// A box of choices with no label beside it, read by `name` and then by the
// choice made in it. (A box is otherwise read by its choice, its label
// coming from the label whose buddy it is.) Not for a box that takes typing.
void nameChoiceBox(QComboBox* box, const QString& name);

// A caption as it is read: the mnemonic's "&" dropped, "&&" read as "&".
QString plainCaption(const QString& caption);

// The date a day of a month page stands for. `week` is the row of the page
// (0 the first), `day` the number shown; the first two rows may show the
// end of the month before, the last two the beginning of the month after.
QDate dayOfPage(int year, int month, int week, int day);
}  // namespace Accessible
