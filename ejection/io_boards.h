#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/ejection_state.h"
#include "platform/analog_board.h"
#include "platform/digital_board.h"

namespace tolvane {

// Texts of the board label `DASP1` on the ejector calibration tab.
inline constexpr std::string_view kBoardLabelCaption = "Плата ввода-вывода №1";
inline constexpr std::string_view kDigitalBoardNotFoundText =
    "Ошибка: Не найдена интерфейсная плата №1 digital.";
inline constexpr std::string_view kDigitalBoardReadyText = "Интерфейсная плата №1 digital инициализирована.";

// Both boards use board number 0.
inline constexpr std::uint16_t kDigitalBoardNumber = 0;
inline constexpr std::uint8_t kAnalogBoardNumber = 0;

// Image of the 16 digital outputs of the D/A board.
struct AnalogDoWord {
  std::uint8_t low = 0;   // outputs 0-7
  std::uint8_t high = 0;  // outputs 8-15

  std::uint16_t word() const { return static_cast<std::uint16_t>(high * 256 + low); }
};

// Sets or clears one bit of the word (bits 0-7 of the low byte, 8-15 bits 0-7 of the high byte; bit 16
// and above change nothing), then sends the whole word to the board, whatever the bit was. A driver
// failure is dropped.
void SetAnalogBoardOutput(AnalogBoard& board, AnalogDoWord& doWord, std::uint8_t boardNumber,
                          std::uint8_t bit, bool on);

// The two boards of the machine: found and opened once when the main window is created, closed once
// when it closes. Keeps what the board label `DASP1` shows.
//
// Threads: InitIoBoards and CloseIoBoards run on the main thread. InitIoBoards must finish before any
// camera thread starts: it decides whether the digital board is ready and where its ports are, which
// every valve write reads. Camera threads may still write valves after CloseIoBoards; the closed
// driver's failures are dropped by the valve writer.
class IoBoards {
 public:
  IoBoards(DigitalBoard& digital, AnalogBoard& analog, EjectionState& ejection)
      : digital_(digital), analog_(analog), ejection_(ejection) {}

  // Opens both drivers, finds the digital board and takes its base address, writes all valves closed,
  // clears the data ports and puts the D/A board's digital outputs into the off state. Driver failures
  // are dropped; a digital board that cannot be searched or addressed counts as not found. Returns the
  // text `DASP1` shows afterwards.
  std::string_view InitIoBoards();

  // Closes the digital driver, then the D/A driver. A failure ends the closing quietly.
  void CloseIoBoards();

  // SetAnalogBoardOutput on this object's D/A board and word.
  void SetAnalogBoardOutput(std::uint8_t boardNumber, std::uint8_t bit, bool on);

  const AnalogDoWord& analogDoWord() const { return doWord_; }

  // What `DASP1` shows: the caption until InitIoBoards, then its result; the valve tests replace it with
  // their board status.
  std::string_view boardLabel() const { return boardLabel_; }
  void setBoardLabel(std::string_view text) { boardLabel_ = text; }

  DigitalBoard& digital() { return digital_; }
  AnalogBoard& analog() { return analog_; }

 private:
  // Steps on the digital board; true when it was found and can be addressed.
  bool findDigitalBoard();

  DigitalBoard& digital_;
  AnalogBoard& analog_;
  EjectionState& ejection_;
  AnalogDoWord doWord_;
  std::string boardLabel_{kBoardLabelCaption};
};

}  // namespace tolvane
