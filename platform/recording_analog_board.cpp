#include "platform/recording_analog_board.h"

#include <stdexcept>

namespace tolvane {

void RecordingAnalogBoard::setSearchAnswer(std::uint16_t result, std::uint16_t boardsFound) {
  std::lock_guard lock(mutex_);
  searchResult_ = result;
  boardsFound_ = boardsFound;
}

void RecordingAnalogBoard::failCall(Function function, std::size_t n) {
  std::lock_guard lock(mutex_);
  failures_[function] = n;
}

std::vector<RecordingAnalogBoard::Call> RecordingAnalogBoard::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<RecordingAnalogBoard::Call> RecordingAnalogBoard::doCalls() const {
  std::lock_guard lock(mutex_);
  std::vector<Call> result;
  for (const Call& c : calls_) {
    if (c.function == Function::kDO) result.push_back(c);
  }
  return result;
}

void RecordingAnalogBoard::clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void RecordingAnalogBoard::failIfDue(Function function) {
  const auto it = failures_.find(function);
  if (it == failures_.end()) return;
  if (it->second == 0) {
    failures_.erase(it);
    throw std::runtime_error("simulated D/A driver failure");
  }
  --it->second;
}

void RecordingAnalogBoard::PIODA_DriverInit() {
  std::lock_guard lock(mutex_);
  failIfDue(Function::kDriverInit);
  calls_.push_back({Function::kDriverInit});
}

std::uint16_t RecordingAnalogBoard::PIODA_SearchCard(std::uint16_t* boardsFound, std::uint32_t cardId) {
  std::lock_guard lock(mutex_);
  failIfDue(Function::kSearchCard);
  calls_.push_back(
      {Function::kSearchCard, cardId, boardsFound != nullptr ? *boardsFound : std::uint16_t{0xFFFF}});
  if (boardsFound != nullptr) *boardsFound = boardsFound_;
  return searchResult_;
}

std::uint16_t RecordingAnalogBoard::PIODA_DO(std::uint16_t boardNumber, std::uint16_t word) {
  std::lock_guard lock(mutex_);
  failIfDue(Function::kDO);
  calls_.push_back({Function::kDO, boardNumber, word});
  return 0;
}

std::uint16_t RecordingAnalogBoard::PIODA_DriverClose() {
  std::lock_guard lock(mutex_);
  failIfDue(Function::kDriverClose);
  calls_.push_back({Function::kDriverClose});
  return 0;
}

}  // namespace tolvane
