#pragma once
// How the setup worker reports to the user interface: a notification code and
// two pointer-sized parameters, posted (never sent) to the progress window.
#include <cstdint>

enum SetupNotification {
  NOTIFY_SHOW_MESSAGE = 6039,        // text "Connecting ..."
  NOTIFY_SHOW_PROGRESS = 6040,       // text "Downloading %s ..."
  NOTIFY_PROGRESS_VALUES = 6041,     // text "%d,%d,%d": percent, kbps, seconds remaining
  NOTIFY_SHOW_FINAL_MESSAGE = 6042,  // summary or "Download is incomplete. Please try it again", and its kind
  NOTIFY_INIT_FAILED = 6043,         // no text: initialisation failed
  NOTIFY_CLOSE = 6044                // text "Launching %s ... ": the flow is over, the window closes
};

// What a NOTIFY_SHOW_FINAL_MESSAGE tells, in its second parameter: the
// window shows a failure on its taskbar button too.
enum FinalMessageKind { FINAL_MESSAGE_SUMMARY = 0, FINAL_MESSAGE_FAILURE = 1 };

// The NOTIFY_SHOW_FINAL_MESSAGE text (a failure) of every road that ends
// before the installer or launcher was started.
constexpr char kIncompleteText[] = "Download is incomplete. Please try it again";
// What the window shows for NOTIFY_INIT_FAILED, which carries no text.
constexpr char kInitFailedText[] = "Setup could not be started. Please close this window and try it again";

// The three numbers a NOTIFY_PROGRESS_VALUES text carries.
struct ProgressValues {
  int percent;
  int speed_kbps;
  int seconds_remaining;
};

// Texts travel as 512-byte buffers allocated by the sender; ownership passes
// with the notification and the receiver frees them.
const int kNotificationTextSize = 512;
char* AllocNotificationText();
void FreeNotificationText(char* text);  // null is allowed
// Texts allocated and not yet freed, so checks can see that none is lost.
int LiveNotificationTexts();

// Whether the first parameter of `code` is such a text (6043 carries none).
inline bool NotificationCarriesText(int code) {
  return code >= NOTIFY_SHOW_MESSAGE && code <= NOTIFY_CLOSE && code != NOTIFY_INIT_FAILED;
}

class SetupInterface {
 public:
  virtual ~SetupInterface() {}
  virtual void Notify(int code, uintptr_t first, intptr_t second) {
    (void)code;
    (void)first;
    (void)second;
  }
};
