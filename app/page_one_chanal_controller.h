#pragma once

#include <QObject>

namespace tolvane {

class Machine;
class PageOneChanal;

// The single-tone set-up page (TabOneChanal): the ranges and background levels of both cameras as
// loaded, and the three channel switches of single-channel work (one of them on at most).
//
// Threads: main thread. Settings the camera threads read change under the engine lock.
class PageOneChanalController : public QObject {
  Q_OBJECT

 public:
  PageOneChanalController(PageOneChanal& page, Machine& machine, QObject* parent = nullptr);

  // After a program load: the channel switches from OCR, OCG, OCB (hidden with single-tone cameras)
  // and every range value with three digits.
  void showProgram();

 private:
  void channelSwitched(int channel, bool on);

  PageOneChanal& page_;
  Machine& machine_;
  bool showing_ = false;
};

}  // namespace tolvane
