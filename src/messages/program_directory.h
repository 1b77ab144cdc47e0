/* messages/program_directory.h: the folder that holds the executable and its files. */
#pragma once

// Fills State.ProgramDirectory with the executable's full path cut right after its last
// path separator (C:\Tools\Update\updater.exe gives C:\Tools\Update\, and
// /opt/dravon/dravon-updater gives /opt/dravon/). Returns false when no usable directory
// results: the platform wrote nothing, the path did not fit and was cut (ProgramDirectory
// is then emptied), or the path holds no separator to cut at.
bool DetermineProgramDirectory();
