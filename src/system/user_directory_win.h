#pragma once
// The folders a run works with, found once at the start of the setup.

namespace Utility {

// Fills every text (buffers of at least 512 bytes, UTF-8; a folder the system
// cannot give, or whose name does not fit, is left empty):
//  current_directory / current_file   the running starter, split at the last '\'
//  user_application_directory         where the client is set up (no trailing '\')
//  temp_directory                     the user's temporary folder, long form, no trailing '\'
//  start_menu_directory               start-menu programs folder + '\' + product name
//  desktop_directory                  the desktop folder, long form
//  documents_directory                the personal documents folder
// and the flags: whether the application-data folder was available, and
// whether the process runs as the system account. The product name names the
// application folders ("" and "Linvora" mean "Kestrelon"); "Gardolo" selects
// the shared folders on Vista and later.
void GetUserDirectory(const char* product_name, char* current_directory, char* current_file,
                      char* user_application_directory, char* temp_directory, char* start_menu_directory,
                      char* desktop_directory, bool* user_application_directory_accessible, bool* system_user,
                      char* documents_directory);

}  // namespace Utility
