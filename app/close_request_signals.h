#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace tolvane {

// SIGTERM and SIGINT (a service manager stopping the program, a UPS shutdown, Ctrl+C) as a close
// request on the main thread. The handlers only write a byte into a pipe (async-signal-safe); the
// event loop reads it and calls the callback.
//
// The first request is delivered; later ones are counted and dropped, so a second signal while the
// window closes cannot start a second close. Requests that come before a callback is set wait in the
// pipe and are delivered once it is (from the event loop, never from setCallback itself).
//
// One object at a time per process; the destructor restores the dispositions it found.
class CloseRequestSignals : public QObject {
  Q_OBJECT

 public:
  using Callback = std::function<void(int signalNumber)>;

  // Installs the handlers. Throws std::runtime_error when another object is installed or the pipe
  // or a handler cannot be set up (nothing stays installed then).
  explicit CloseRequestSignals(QObject* parent = nullptr);
  ~CloseRequestSignals() override;
  CloseRequestSignals(const CloseRequestSignals&) = delete;
  CloseRequestSignals& operator=(const CloseRequestSignals&) = delete;

  void setCallback(Callback callback);

  // Signals read from the pipe so far, and whether the callback was called (at most once).
  int received() const { return received_; }
  bool delivered() const { return delivered_; }

 private:
  void readPending();

  int readFd_ = -1;
  int writeFd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  Callback callback_;
  int received_ = 0;
  int pendingSignal_ = 0;  // the first signal read, until it is delivered
  bool delivered_ = false;
};

}  // namespace tolvane
