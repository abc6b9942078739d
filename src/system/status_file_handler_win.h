#pragma once
// The setup status file in an installed client's folder: whether the starter
// has called the client to launch and the client has not confirmed it since.
#include <string>

class StatusFileHandler {
 public:
  static const int kSetupStatus = 0;  // "setup_status.txt", the only type

  // Fills `value` (512 bytes) with the field's value; creates a missing file
  // with the default content ("Y") first. False when the field is not found.
  bool ReadStatus(int type, const char* directory, const char* opening_tag, const char* closing_tag,
                  char* value);

  // Replaces the field's value (a missing file is written from the default
  // content); other text in the file survives unchanged.
  bool WriteStatus(int type, const char* directory, const char* opening_tag, const char* closing_tag,
                   const char* value);

 private:
  bool ReadCurrentContent(const char* operation, int type, const char* directory, std::string& path,
                          std::string& content, bool& existed);
};
