#include "ui/program_name_validator.h"

#include "ui/program_name.h"

namespace tolvane {

ProgramNameValidator::ProgramNameValidator(QObject* parent) : QValidator(parent) {}

namespace {

// Windows-1251 holds nothing outside the Basic Multilingual Plane, so any surrogate, paired or lone,
// is refused before the conversion to UTF-8 could turn a lone one into something storable.
bool hasSurrogate(const QString& text) {
  for (const QChar c : text) {
    if (c.isSurrogate()) {
      return true;
    }
  }
  return false;
}

}  // namespace

QValidator::State ProgramNameValidator::validate(QString& input, int&) const {
  return !hasSurrogate(input) && isStorableProgramName(input.toStdString()) ? Acceptable : Invalid;
}

void ProgramNameValidator::fixup(QString& input) const {
  QString kept;
  for (const QChar c : input) {
    if (!c.isSurrogate()) {
      kept += c;
    }
  }
  input = QString::fromStdString(storableProgramName(kept.toStdString()));
}

}  // namespace tolvane
