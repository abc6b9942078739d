#include "setup/package_request_win.h"

#include "base/text.h"
#include "setup/setup_handler_win.h"
#include "setup/version_file_win.h"

package::PackageRequest PackageRequestOf(const SetupHandler& handler, bool needs_program) {
  package::PackageRequest request;
  request.client = handler.m_sClientName;
  request.version = handler.m_sVersion;
  request.needs_program = needs_program;
  // The folder where the version check found a client, or where the client
  // that started this run lives.
  if (handler.m_sClientDirectory[0] != '\0')
    ReadVersionFile(ks::Format("%s\\version.txt", handler.m_sClientDirectory).c_str(), SetupHandler::kTextSize - 1,
                    &request.installed_version);
  return request;
}
