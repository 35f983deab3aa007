#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/power_status.h"

namespace tolvane {

// Where the UPS is served: the UPS name as upsd knows it, the host and TCP port of upsd.
struct NutUpsAddress {
  std::string ups;
  std::string host = "127.0.0.1";
  std::uint16_t port = 3493;

  bool operator==(const NutUpsAddress&) const = default;
};

// "ups", "ups@host", "ups@host:port" or "ups@[v6-address]:port"; nullopt for anything else, including
// UPS names with spaces, quotes or control characters that would break the request line.
std::optional<NutUpsAddress> parseNutUpsAddress(std::string_view text);

// Reads the UPS through upsd's plain-text protocol: one connection per read, "GET VAR <ups> ups.status"
// and "GET VAR <ups> battery.charge", then LOGOUT. The whole read is bounded by the timeout. A server
// that is down, slow or answers oddly gives an unknown status (or an unknown charge), never an error.
// Each call opens its own connection, so calls may come from any thread.
class NutUpsReader : public PowerStatusReader {
 public:
  explicit NutUpsReader(NutUpsAddress address,
                        std::chrono::milliseconds timeout = std::chrono::milliseconds(500));

  PowerStatus read() override;

  const NutUpsAddress& address() const { return address_; }

 private:
  NutUpsAddress address_;
  std::chrono::milliseconds timeout_;
};

// The words of ups.status that matter here: "OL" on line, "OB" on battery, "LB" low battery.
struct NutStatusWords {
  bool onLine = false;
  bool onBattery = false;
  bool lowBattery = false;
};
NutStatusWords parseNutStatusWords(std::string_view status);

// The value of the answer `VAR <ups> <var> "<value>"` (backslash escapes undone); nullopt for an ERR
// answer or any line of another form.
std::optional<std::string> parseNutVarAnswer(std::string_view line, std::string_view ups,
                                             std::string_view var);

// battery.charge as a whole percent (rounded, halves to even); -1 when not a number within 0..100.
int parseNutCharge(std::string_view value);

}  // namespace tolvane
