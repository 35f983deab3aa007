#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/digital_board.h"

namespace tolvane {

// Test double of the digital board: records every driver call in order and answers as configured.
// A call that throws leaves no record. Thread-safe, so tests with real threads can share one.
class RecordingDigitalBoard : public DigitalBoard {
 public:
  enum class Function { kDriverInit, kSearchCard, kGetConfigAddressSpace, kOutputByte, kDriverClose };

  struct Call {
    Function function;
    std::uint32_t address = 0;  // port of OutputByte; card identifier of SearchCard; board of GetConfig
    std::uint16_t value = 0;    // value of OutputByte

    bool operator==(const Call&) const = default;
  };

  // Answers of the search and the address query.
  void setCardPresent(bool present);
  void setReportedBase(std::uint32_t base);
  // The n-th OutputByte call from now (0 = the next one) throws std::runtime_error.
  void failOutputAfter(std::size_t n);
  // The n-th call of this function from now (0 = the next one) throws std::runtime_error.
  void failCall(Function function, std::size_t n = 0);

  // What the board reports about its link (a network terminal's).
  void setLink(std::string status, bool untrusted);
  std::string linkStatus() const override;
  bool outputsUntrusted() const override;

  std::vector<Call> calls() const;
  // Only the OutputByte calls.
  std::vector<Call> outputs() const;
  void clear();

  void PIODIO_DriverInit() override;
  std::uint16_t PIODIO_SearchCard(std::uint16_t* boardsFound, std::uint32_t cardId) override;
  std::uint16_t PIODIO_GetConfigAddressSpace(std::uint16_t boardNumber, std::uint32_t* baseAddress,
                                             std::uint16_t* interruptNumber, std::uint16_t* subVendor,
                                             std::uint16_t* subDevice, std::uint16_t* subAux,
                                             std::uint16_t* slotBus, std::uint16_t* slotDevice) override;
  std::uint16_t PIODIO_OutputByte(std::uint32_t port, std::uint16_t value) override;
  std::uint16_t PIODIO_DriverClose() override;

 private:
  void record(Call call);
  // Called with mutex_ held: throws when a failure of this function is due.
  void failIfDue(Function function);

  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  bool cardPresent_ = true;
  std::uint32_t reportedBase_ = 0xE000;
  std::map<Function, std::size_t> failures_;
  std::string linkStatus_;
  bool untrusted_ = false;
};

}  // namespace tolvane
