#pragma once
// The setup worker: one object that carries every parameter, directory and
// flag of a run and walks the setup flow on a thread of its own. It reports to
// the window only through SetupInterface::Notify.
#include <atomic>
#include <string>

#include "base/my_thread_win.h"
#include "base/text.h"
#include "setup/setup_folder_lock_win.h"
#include "setup/setup_interface.h"

class SetupDownloader;

class SetupHandler : public MyThread {
 public:
  static const int kTextSize = 512;
  static const int kSettingSize = 2048;
  static const int kCommandLineSize = 4096;
  static const int kStarterSidSize = 128;
  static const int kSettingsTextSize = 4096;  // start-up's settings text buffer
  static const int kDefaultAccountServerPort = 8889;

  SetupHandler();
  ~SetupHandler() override;

  void SetSetupInterface(SetupInterface* target) { m_pSetupInterface = target; }

  // The thread body: the setup flow.
  bool Run() override;
  // Starts the flow on its own thread at normal priority (user-interface
  // thread, after the parameters were read). A thread that cannot be created
  // is logged and shown as a failed initialisation: false.
  bool StartFlow();

  // Launch parameters, before the thread starts (user-interface thread).
  // `settings` is start-up's settings text buffer of kSettingsTextSize bytes.
  virtual bool ParseSetting(const char* settings);
  virtual bool DecodeMeetingQuery(char* settings);
  virtual bool LoadSetupConfigure(char* settings);

  // Steps of the flow (worker thread). Virtual so the flow can be exercised
  // with stand-in steps.
  virtual bool InitializeSetup();
  virtual void CheckIsVersionIsSynced();
  virtual bool LaunchClient();
  virtual bool Download();
  virtual bool ProcessDownloadedClient();
  virtual void CallToInstall();
  virtual void StopProcess();
  virtual std::string InformServerOfInstallation();

  // The report runs beside the hand-off on a thread of its own, so the
  // client or installer never waits for the account server; where no thread
  // can be made it runs here, as part of the hand-off.
  void StartInstallationReport();
  // Returns once every report started in this process has finished
  // (answered, failed, or given up at its limits). Called as the process
  // ends, after the window has closed.
  static void WaitForInstallationReports();

  // Allocates a notification text from a format (cut at 511 bytes) and
  // passes it with `code` to the notification target, which takes it over.
  void NotifyText(int code, const char* format, ...) KS_PRINTF_FORMAT(3, 4);
  void NotifyNoText(int code);
  // The window's last text on every road that ends before the installer or
  // launcher was started: "Download is incomplete. Please try it again",
  // told as a failure.
  void NotifyIncomplete();

  SetupDownloader* GetSetupDownloader() const { return m_pSetupDownloader; }

  // Members, all UTF-8 texts ended by a zero byte.
  char m_sAccountServerName[kTextSize];
  int m_iAccountServerPort;
  char m_sClientName[kTextSize];
  char m_sVersion[kTextSize];
  char m_sSetting[kSettingSize];
  char m_sCurrentDirectory[kTextSize];
  char m_sCurrentFile[kTextSize];
  char m_sClientDirectory[kTextSize];
  char m_sDownloadFile[kTextSize];
  SetupDownloader* m_pSetupDownloader;
  SetupInterface* m_pSetupInterface;
  char m_sTempDirectory[kTextSize];
  char m_sSetupDirectory[kTextSize];
  char m_sUserApplicationDirectory[kTextSize];
  char m_sStartMenuDirectory[kTextSize];
  char m_sDesktopDirectory[kTextSize];
  char m_sCommandLine[kCommandLineSize];
  bool m_bCalledByClientToSyncVersion;
  bool m_bIsVersionSynced;
  bool m_bSystemUser;
  bool m_bClientFilesAvailable;
  bool m_bStartedWithParameter;
  char m_sStarterSid[kStarterSidSize];
  // Held from before the package is saved until the program started from
  // the setup folder has ended (for a bounded time), or until the run ends
  // short (worker thread).
  SetupFolderLock m_oSetupFolderLock;
  // Set as the installer or launcher is started: the run is complete, though
  // the worker may still hold the setup folder for it (read on any thread).
  std::atomic<bool> m_bHandingOver{false};
};
