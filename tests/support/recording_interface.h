#pragma once
// A notification target for tests of the setup worker: it takes over every
// text as the progress window would and remembers what came, in order.
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "setup/setup_interface.h"

struct Received {
  int code;
  bool has_text;
  std::string text;
  intptr_t second;
  bool operator==(const Received& other) const {
    return code == other.code && has_text == other.has_text && text == other.text && second == other.second;
  }
};

inline void PrintTo(const Received& r, std::ostream* out) {
  *out << r.code << (r.has_text ? " \"" + r.text + "\"" : std::string(" (no text)")) << " second=" << r.second;
}

inline Received Text(int code, const std::string& text) { return Received{code, true, text, 0}; }
inline Received NoText(int code) { return Received{code, false, std::string(), 0}; }

// Takes over every text as the window would and remembers what came.
class RecordingInterface : public SetupInterface {
 public:
  void Notify(int code, uintptr_t first, intptr_t second) override {
    const char* text = reinterpret_cast<const char*>(first);
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back(Received{code, text != nullptr, text != nullptr ? text : "", second});
    if (NotificationCarriesText(code)) FreeNotificationText(reinterpret_cast<char*>(first));
  }
  std::vector<Received> received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Received> received_;
};


// Codes only, for checks of the order.
inline std::vector<int> Codes(const std::vector<Received>& received) {
  std::vector<int> codes;
  for (const Received& r : received) codes.push_back(r.code);
  return codes;
}
