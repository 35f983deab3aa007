#pragma once

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <functional>

#include "settings/colour_ranges.h"

class QLabel;

namespace tolvane {

class Machine;
class PageOneChanal;
class PageSimpleWork;

// The single-tone set-up page (TabOneChanal): the "<<"/">>" pairs of both cameras' ranges and
// background levels, the range bars drawn from the values, and the three channel switches of
// single-channel work (one of them on at most; shown with colour cameras only). The working page's
// line-mode arrows step the same background levels once bound. Every step and evaluation also
// renews the object-picture fill of a single-tone machine, which follows camera 1's levels.
//
// Threads: main thread. Settings the camera threads read change under the engine lock.
class PageOneChanalController : public QObject {
  Q_OBJECT

 public:
  PageOneChanalController(PageOneChanal& page, Machine& machine, QObject* parent = nullptr);

  // The arrows cam1darkLeft ... cam2lightRight of the working page step FonBlack/FonLight like the
  // arrows of this page, and its labels cam1blackLabel ... cam2lightLabel show what this page's labels
  // show. Binding again replaces the earlier binding, so a second call never doubles a step.
  void bindWorkingPageLevels(PageSimpleWork& work);
  // Called after every step and evaluation (the sample view).
  void setRefreshSampleView(std::function<void()> refresh) { refreshSampleView_ = std::move(refresh); }

  // After a program load: the channel switches from OCR, OCG, OCB (hidden with single-tone cameras),
  // every loaded value in its label with three digits, the working page's level labels from them, then
  // the evaluation (the test program's open ranges, the bars).
  void showProgram();
  // The evaluation without a button: the test program's ranges opened in the fields (labels keep their
  // text) and the bars of both cameras placed from the fields. Also wanted after a restore of the stored
  // control values.
  void evaluate();
  // A touch or repeat tick of an arrow of the pair (field, camera), here or on the working page.
  void step(RangeField field, int camera, StepDirection direction);

  // The label of a pair on this page.
  QLabel* label(RangeField field, int camera) const;

 private:
  void channelSwitched(int channel, bool on);
  void showChannels();
  void placeBars();
  void copyLevelsToWorkingPage();

  PageOneChanal& page_;
  Machine& machine_;
  QPointer<PageSimpleWork> work_;
  QList<QMetaObject::Connection> workConnections_;
  std::function<void()> refreshSampleView_;
  bool showing_ = false;
};

}  // namespace tolvane
