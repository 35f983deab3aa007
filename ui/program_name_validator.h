#pragma once

#include <QValidator>

namespace tolvane {

// Refuses an edit (typing, pasting, input methods) that would leave a program name with a character
// the settings file cannot store; see program_name.h. The refused edit is undone as a whole.
class ProgramNameValidator : public QValidator {
  Q_OBJECT

 public:
  explicit ProgramNameValidator(QObject* parent = nullptr);

  State validate(QString& input, int& pos) const override;
  // Drops the characters a name may not hold.
  void fixup(QString& input) const override;
};

}  // namespace tolvane
