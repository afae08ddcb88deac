#pragma once
// Window settings of the main window, kept between runs under
// "\SOFTWARE\Norlet System\" + the form's object name: its outer size and
// position and the query editor's height, each a decimal string value.
// wRegFormLoad applies them before the form is first shown (from
// FormCreate); wRegFormSave stores them as the form closes (from FormClose).
// Both raise Exception: a value that is no integer, a value of another type,
// a write that fails. A failed load keeps the values applied before it.

#include <QList>
#include <QRect>
#include <QString>

class TfrmQA;

// The store's value names, in the order load reads them.
inline constexpr char16_t kWidthFormValue[] = u"WidthForm";
inline constexpr char16_t kHeightFormValue[] = u"HeightForm";
inline constexpr char16_t kReQueryHeightValue[] = u"ReQueryHeight";
inline constexpr char16_t kLeftFormValue[] = u"LeftForm";
inline constexpr char16_t kTopFormValue[] = u"TopForm";

// "\SOFTWARE\Norlet System\" + `formName`.
[[nodiscard]] QString FormSettingsKey(const QString& formName);

// A stored value as an integer: optional sign and decimal digits, in the
// 32-bit range. Raises Exception("'<text>' is not a valid integer value").
[[nodiscard]] int StoredInteger(const QString& text);

// False when `bounds` shares no pixel with any of `screens`: a window placed
// there could not be seen (its monitor is gone).
[[nodiscard]] bool IsOnSomeScreen(const QRect& bounds, const QList<QRect>& screens);

void wRegFormLoad(TfrmQA& form);
void wRegFormSave(TfrmQA& form);
