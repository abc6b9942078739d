#include "setup/setup_handler_win.h"

// Placeholder until this step is built: it fails the way the flow expects.
bool SetupHandler::LoadSetupConfigure(char* /*settings*/) { return false; }

bool SetupHandler::InitializeSetup() { return false; }
