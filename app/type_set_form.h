#pragma once

#include <QWidget>

namespace tolvane {

// The preset set-ups window: a window of its own, created hidden at start after the main window.
class TTypeSetForm : public QWidget {
  Q_OBJECT

 public:
  explicit TTypeSetForm(QWidget* parent = nullptr);
  ~TTypeSetForm() override;
};

}  // namespace tolvane
