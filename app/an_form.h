#pragma once

#include <QWidget>

namespace tolvane {

// The sample analysis window: a window of its own, created hidden at start after the main window.
class TAnForm : public QWidget {
  Q_OBJECT

 public:
  explicit TAnForm(QWidget* parent = nullptr);
  ~TAnForm() override;
};

}  // namespace tolvane
