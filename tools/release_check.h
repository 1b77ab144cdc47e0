/* tools/release_check.h: checks a release folder as the updater will use it. */
#pragma once

#include <string>
#include <vector>

enum class Severity { Error, Warning, Note };

struct Finding {
    Severity severity;
    std::string text;
};

// Checks UPDATE.INI, update.udx and update.udi in `release`; with a `device` folder (may be
// empty), also runs the updater's own stages against the version.dat there and reports the
// result and the dialogs that the updater would show.
std::vector<Finding> CheckRelease(const std::string& release, const std::string& device);

// Prints one line per finding and a summary; returns 1 when any finding is an error.
int PrintFindings(const std::vector<Finding>& findings);
