#include "setup/setup_handler_win.h"

// Placeholder until this step is built: it fails the way the flow expects.
std::string SetupHandler::InformServerOfInstallation() { return std::string(); }
