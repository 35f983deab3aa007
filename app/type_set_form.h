#pragma once

#include <QWidget>

class QLabel;
class QListWidget;

namespace tolvane {

class TasSwitch;

// The preset set-ups window "Markavel - типовые настройки": a full-screen window of its own, created
// hidden at start after the main window and opened modally over it. Its controller
// (TypeSetController) fills it and handles its buttons.
class TTypeSetForm : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 1024;
  static constexpr int kHeight = 768;
  // The box the preset pictures are shown in; pictures are made to fit it.
  static constexpr QSize kPictureBox{480, 292};

  explicit TTypeSetForm(QWidget* parent = nullptr);
  ~TTypeSetForm() override;

  QLabel* Caption;
  QListWidget* BoxSettings;
  QLabel* Description;
  QLabel* Picture;
  TasSwitch* SettingsPictureButton;  // "НАСТРОЙКИ"
  TasSwitch* WorkPictureButton;      // "РАБОТА"
  TasSwitch* ApplyButton;            // "Применить|настройки"
  TasSwitch* FactoryButton;          // "Заводские|настройки"
  TasSwitch* RollbackButton;         // "Откат|отсутствует" or "откат|<date>"
  TasSwitch* ExitButton;             // "Выход"

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace tolvane
