#pragma once

#include <QLineEdit>
#include <QPoint>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "ui/on_screen_keyboard.h"

class QLabel;

namespace tolvane {

// The on-screen keyboard for the program names: a frameless 866x250 window with a Russian keyboard
// and a numeric block, created hidden at start after the main window. The layout and what each key
// does live in OnScreenKeyboard; this window shows it and forwards touches.
//
// It opens application-modal without blocking the caller; Ok or Enter hides it and then emits
// confirmed(). Closing it any other way copies nothing. The shift state is kept between openings.
class TKeyForm : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kNameFieldCount = 9;

  explicit TKeyForm(QWidget* parent = nullptr);
  ~TKeyForm() override;

  // Opens the keyboard for program name field `index` (0..8) with `text`, application-modal but not
  // blocking. An index outside 0..8 is ignored (nothing opens, nothing changes). Characters a program
  // name may not hold are left out of the text.
  void openFor(int index, const QString& text);
  // Opens the keyboard for another field (the colour calculator's numbers): the heading reads
  // `heading`, and Ok or Enter hands the text to done instead of emitting confirmed().
  void openForValue(const QString& heading, const QString& text, std::function<void(const QString&)> done);
  bool isOpen() const;
  // The field being edited; -1 before the first opening.
  int editedIndex() const { return editedIndex_; }
  // The text of NameEdit.
  QString text() const;
  bool shift() const { return keyboard_.shift(); }

  // Presses a key by its caption as a touch would ("й", "Shift", "BkSp", "Ok", "Enter", " " for the
  // space bar). A letter key answers to its caption in either shift state, and types what it shows.
  // Returns false for an unknown caption (nothing happens).
  bool pressKey(const QString& caption);

  QLineEdit* nameEdit() const { return nameEdit_; }
  // The key buttons in the order of OnScreenKeyboard::keys().
  const std::vector<QPushButton*>& keyButtons() const { return keyButtons_; }
  // The button that reads `caption` now; nullptr when none does.
  QPushButton* keyButton(const QString& caption) const;

 signals:
  // Ok or Enter on field `index`; the window has already hidden.
  void confirmed(int index, const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void keyTouched(std::size_t index);
  void showCaptions();
  void showText();
  void centreOnScreen();

  void open(const QString& text);

  OnScreenKeyboard keyboard_;
  int editedIndex_ = -1;
  std::function<void(const QString&)> valueDone_;  // set while a value field is edited
  QLabel* nameLabel_ = nullptr;
  QLabel* hintLabel_ = nullptr;
  QLineEdit* nameEdit_ = nullptr;
  std::vector<QPushButton*> keyButtons_;
  bool dragging_ = false;
  QPoint dragOffset_;  // window position minus the finger's global position
};

}  // namespace tolvane
