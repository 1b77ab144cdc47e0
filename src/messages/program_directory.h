/* messages/program_directory.h: the folder that holds the executable and its files. */
#pragma once

// Fills State.ProgramDirectory with the executable's full path cut right after its last
// backslash (C:\Tools\Update\updater.exe gives C:\Tools\Update\). Returns false when no
// usable directory results: the platform wrote nothing, the path did not fit and was cut
// (ProgramDirectory is then emptied), or the path holds no backslash to cut at.
bool DetermineProgramDirectory();
