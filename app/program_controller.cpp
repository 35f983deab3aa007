#include "app/program_controller.h"

#include <QEvent>
#include <QLineEdit>
#include <cstdio>

#include "app/key_form.h"
#include "app/machine.h"
#include "app/page_common.h"
#include "app/window_state_store.h"

namespace tolvane {

ProgramController::ProgramController(Machine& machine, PictureList& programList,
                                     const std::array<QLineEdit*, 9>& nameFields, Actions actions,
                                     QObject* parent)
    : QObject(parent),
      machine_(machine),
      programList_(programList),
      nameFields_(nameFields),
      actions_(std::move(actions)) {
  connect(&programList_, &PictureList::itemTouched, this, &ProgramController::touchProgram);
  for (QLineEdit* field : nameFields_) field->installEventFilter(this);
}

ProgramController::~ProgramController() = default;

void ProgramController::setKeyboard(TKeyForm* keyboard) {
  if (keyboard_ != nullptr) disconnect(keyboard_, nullptr, this, nullptr);
  keyboard_ = keyboard;
  if (keyboard_ != nullptr) connect(keyboard_, &TKeyForm::confirmed, this, &ProgramController::nameConfirmed);
}

TKeyForm& ProgramController::keyboard() {
  if (keyboard_ == nullptr) {
    ownKeyboard_ = std::make_unique<TKeyForm>();
    setKeyboard(ownKeyboard_.get());
  }
  return *keyboard_;
}

void ProgramController::touchProgram(int index) {
  const int before = machine_.machine().ActiveProg;
  if (!machine_.run().view().programListEnabled) {
    // Sorting: a whole program must never change under the running cameras.
    programList_.setCurrentIndex(before);
    return;
  }
  if (const auto error = machine_.switchProgram(index)) {
    programList_.setCurrentIndex(before);
    if (actions_.tell) actions_.tell(QString::fromStdString(*error));
    return;
  }
  if (actions_.showProgram) actions_.showProgram();
}

bool ProgramController::saveSettings(bool interactive) {
  if (const auto error = machine_.switchProgram(machine_.machine().ActiveProg)) {
    if (interactive && actions_.tell) {
      actions_.tell(QString::fromStdString(*error));
    } else {
      std::fprintf(stderr, "TolvaneGrain: %s\n", error->c_str());
    }
    return false;
  }
  if (actions_.showProgram) actions_.showProgram();
  // The store takes the labels' values into the machine settings under the engine lock itself.
  if (store_ != nullptr) store_->save();
  if (actions_.leaveSetupMode) actions_.leaveSetupMode();
  for (std::size_t n = 0; n < nameFields_.size(); ++n) {
    machine_.machine().ProgramName[n] = nameFields_[n]->text().toStdString();
  }
  for (const int refused : machine_.writeProgramNames()) {
    std::fprintf(stderr, "TolvaneGrain: the name of program %d was not written\n", refused + 1);
  }
  setNamesVisible(false);
  machine_.writeSamplesFile();
  programList_.update();
  return true;
}

void ProgramController::closeRequest() {
  if (const auto error = machine_.switchProgram(machine_.machine().ActiveProg)) {
    std::fprintf(stderr, "TolvaneGrain: %s\n", error->c_str());
  }
}

void ProgramController::cancelSettings() {
  if (actions_.restart) actions_.restart();
}

void ProgramController::setNamesVisible(bool visible) {
  for (QLineEdit* field : nameFields_) field->setVisible(visible);
}

void ProgramController::editName(int field) {
  if (field < 0 || field >= static_cast<int>(nameFields_.size())) return;
  keyboard().openFor(field, nameFields_[static_cast<std::size_t>(field)]->text());
}

void ProgramController::nameConfirmed(int field, const QString& text) {
  if (field < 0 || field >= static_cast<int>(nameFields_.size())) return;
  nameFields_[static_cast<std::size_t>(field)]->setText(text);
}

bool ProgramController::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress) {
    for (std::size_t n = 0; n < nameFields_.size(); ++n) {
      if (watched == nameFields_[n]) {
        editName(static_cast<int>(n));
        return true;
      }
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tolvane
