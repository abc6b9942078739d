#include "setup/setup_handler_win.h"

// Placeholder until this step is built: it fails the way the flow expects.
void SetupHandler::CheckIsVersionIsSynced() { m_bIsVersionSynced = false; }

bool SetupHandler::LaunchClient() { return false; }

void SetupHandler::CallToInstall() {}
