#pragma once

#include <QMessageBox>
#include <QString>
#include <memory>

class QWidget;

// Message boxes for the touch screen: Russian buttons large enough for a finger, text large enough to
// read at arm's length, the box in the middle of the screen whatever its parent.
namespace tolvane {

inline constexpr int kDialogButtonWidth = 120;  // px, at least
inline constexpr int kDialogButtonHeight = 60;  // px, at least
inline constexpr int kDialogFontPixels = 18;

// Yes/No question; true for "Да". Closing the box any other way answers "Нет".
bool askQuestion(QWidget* parent, const QString& title, const QString& text);
// A message with one "ОК" button.
void showMessage(QWidget* parent, const QString& title, const QString& text);
// An error: critical icon and one "ОК" button.
void showError(QWidget* parent, const QString& title, const QString& text);

// The boxes the functions above run, not yet shown. Question: buttons QMessageBox::Yes ("Да") and
// QMessageBox::No ("Нет"), "Нет" also on Escape; message and error: QMessageBox::Ok ("ОК").
std::unique_ptr<QMessageBox> makeQuestionBox(QWidget* parent, const QString& title, const QString& text);
std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const QString& title, const QString& text);
std::unique_ptr<QMessageBox> makeErrorBox(QWidget* parent, const QString& title, const QString& text);

}  // namespace tolvane
