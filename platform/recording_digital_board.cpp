#include "platform/recording_digital_board.h"

#include <stdexcept>

namespace tolvane {

void RecordingDigitalBoard::setLink(std::string status, bool untrusted) {
  std::lock_guard lock(mutex_);
  linkStatus_ = std::move(status);
  untrusted_ = untrusted;
}

std::string RecordingDigitalBoard::linkStatus() const {
  std::lock_guard lock(mutex_);
  return linkStatus_;
}

bool RecordingDigitalBoard::outputsUntrusted() const {
  std::lock_guard lock(mutex_);
  return untrusted_;
}

void RecordingDigitalBoard::setCardPresent(bool present) {
  std::lock_guard lock(mutex_);
  cardPresent_ = present;
}

void RecordingDigitalBoard::setReportedBase(std::uint32_t base) {
  std::lock_guard lock(mutex_);
  reportedBase_ = base;
}

void RecordingDigitalBoard::failOutputAfter(std::size_t n) { failCall(Function::kOutputByte, n); }

void RecordingDigitalBoard::failCall(Function function, std::size_t n) {
  std::lock_guard lock(mutex_);
  failures_[function] = n;
}

void RecordingDigitalBoard::failIfDue(Function function) {
  const auto it = failures_.find(function);
  if (it == failures_.end()) return;
  if (it->second == 0) {
    failures_.erase(it);
    throw std::runtime_error("simulated driver failure");
  }
  --it->second;
}

std::vector<RecordingDigitalBoard::Call> RecordingDigitalBoard::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<RecordingDigitalBoard::Call> RecordingDigitalBoard::outputs() const {
  std::lock_guard lock(mutex_);
  std::vector<Call> result;
  for (const Call& c : calls_) {
    if (c.function == Function::kOutputByte) result.push_back(c);
  }
  return result;
}

void RecordingDigitalBoard::clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void RecordingDigitalBoard::record(Call call) {
  std::lock_guard lock(mutex_);
  failIfDue(call.function);
  calls_.push_back(call);
}

void RecordingDigitalBoard::PIODIO_DriverInit() { record({Function::kDriverInit}); }

std::uint16_t RecordingDigitalBoard::PIODIO_SearchCard(std::uint16_t* boardsFound, std::uint32_t cardId) {
  std::lock_guard lock(mutex_);
  failIfDue(Function::kSearchCard);
  calls_.push_back({Function::kSearchCard, cardId});
  const bool found = cardPresent_ && cardId == kCardId;
  if (boardsFound != nullptr) *boardsFound = found ? 1 : 0;
  return found ? 0 : 1;
}

std::uint16_t RecordingDigitalBoard::PIODIO_GetConfigAddressSpace(
    std::uint16_t boardNumber, std::uint32_t* baseAddress, std::uint16_t* interruptNumber,
    std::uint16_t* subVendor, std::uint16_t* subDevice, std::uint16_t* subAux, std::uint16_t* slotBus,
    std::uint16_t* slotDevice) {
  std::lock_guard lock(mutex_);
  failIfDue(Function::kGetConfigAddressSpace);
  calls_.push_back({Function::kGetConfigAddressSpace, boardNumber});
  if (baseAddress != nullptr) *baseAddress = cardPresent_ ? reportedBase_ : 0;
  for (std::uint16_t* p : {interruptNumber, subVendor, subDevice, subAux, slotBus, slotDevice}) {
    if (p != nullptr) *p = 0;
  }
  return cardPresent_ ? 0 : 1;
}

std::uint16_t RecordingDigitalBoard::PIODIO_OutputByte(std::uint32_t port, std::uint16_t value) {
  std::lock_guard lock(mutex_);
  failIfDue(Function::kOutputByte);
  calls_.push_back({Function::kOutputByte, port, value});
  return 0;
}

std::uint16_t RecordingDigitalBoard::PIODIO_DriverClose() {
  record({Function::kDriverClose});
  return 0;
}

}  // namespace tolvane
