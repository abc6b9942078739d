#pragma once
// Where the process looks for the libraries it and the system's own
// libraries load by name: the system folder only, never the starter's folder
// (a Downloads folder where a web page may drop files) nor the current one.

// Called first thing in the program, before anything can load a library.
// False when the system cannot restrict the search (an older Windows without
// the update that brought SetDefaultDllDirectories).
bool RestrictLibrarySearch();

// What RestrictLibrarySearch found, for the log once it exists.
bool LibrarySearchRestricted();
