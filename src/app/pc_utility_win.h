#pragma once
// Registration of the starter as the current user's handler of its URL protocol.
class PCUtility {
 public:
  // Writes the four registry values for protocol `protocol_name` handled by the
  // starter at `starter_path`; the result of the last write.
  static bool RegisterStarter(const char* starter_path, const char* protocol_name);
};
