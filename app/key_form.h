#pragma once

#include <QWidget>

namespace tolvane {

// The on-screen keyboard: a window of its own, created hidden at start after the main window.
class TKeyForm : public QWidget {
  Q_OBJECT

 public:
  explicit TKeyForm(QWidget* parent = nullptr);
  ~TKeyForm() override;

  void openFor(int index, const QString& text);

 signals:
  void confirmed(int index, const QString& text);
};

}  // namespace tolvane
