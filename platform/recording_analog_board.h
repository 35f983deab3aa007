#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "platform/analog_board.h"

namespace tolvane {

// Test double of the D/A board: records every driver call in order and answers as configured.
// A call that throws leaves no record. Thread-safe.
class RecordingAnalogBoard : public AnalogBoard {
 public:
  enum class Function { kDriverInit, kSearchCard, kDO, kDriverClose };

  struct Call {
    Function function;
    std::uint32_t argument = 0;  // card identifier of SearchCard; board number of DO
    // Word of DO. For SearchCard: the count the caller had stored before the call (0xFFFF when the
    // pointer was null), so a test can see that the caller cleared it.
    std::uint16_t word = 0;

    bool operator==(const Call&) const = default;
  };

  static Call searchCard(std::uint16_t countBefore = 0) {
    return {Function::kSearchCard, kCardId, countBefore};
  }
  static Call doWrite(std::uint16_t board, std::uint16_t word) { return {Function::kDO, board, word}; }

  // Answers of the search: the result code and the count handed back.
  void setSearchAnswer(std::uint16_t result, std::uint16_t boardsFound);
  // The n-th call of this function from now (0 = the next one) throws std::runtime_error.
  void failCall(Function function, std::size_t n = 0);

  std::vector<Call> calls() const;
  // Only the DO calls.
  std::vector<Call> doCalls() const;
  void clear();

  void PIODA_DriverInit() override;
  std::uint16_t PIODA_SearchCard(std::uint16_t* boardsFound, std::uint32_t cardId) override;
  std::uint16_t PIODA_DO(std::uint16_t boardNumber, std::uint16_t word) override;
  std::uint16_t PIODA_DriverClose() override;

 private:
  // Called with mutex_ held: throws when a failure of this function is due.
  void failIfDue(Function function);

  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  std::uint16_t searchResult_ = 0;
  std::uint16_t boardsFound_ = 1;
  std::map<Function, std::size_t> failures_;
};

}  // namespace tolvane
