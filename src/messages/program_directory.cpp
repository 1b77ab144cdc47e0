/* messages/program_directory.cpp: the executable's folder, from its module path. */
#include "messages/program_directory.h"

#include <cstring>

#include "platform/platform.h"
#include "run/ansi_text.h"
#include "run/run_state.h"
#include "run/text.h"

bool DetermineProgramDirectory() {
    char* path = State.ProgramDirectory;
    std::uint32_t written = GetModulePath(path, kPathSize);
    if (written == 0 || written >= kPathSize) {
        path[0] = '\0';
        return false;
    }
    // The last separator at positions 1 to length - 2, walking whole characters so that
    // the trail byte of a double-byte character is never taken for one. Position 0 counts
    // only where a separator alone is the root of the file system ("/" on Linux).
    const char separator = PathSeparator();
    const char separatorAlone[] = {separator, '\0'};
    const bool rootIsSeparator = IsVolumeRoot(separatorAlone);
    std::size_t length = std::strlen(path);
    std::size_t cut = 0;
    for (std::size_t i = 0; i < length; i += CharacterLength(path + i)) {
        if (path[i] == separator && (i >= 1 || rootIsSeparator) && i + 2 <= length) {
            cut = i + 1;
        }
    }
    if (cut == 0) {
        return false;
    }
    path[cut] = '\0';
    return true;
}
