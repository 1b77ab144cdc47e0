/* tools/release_check.h: checks a release folder as the updater will use it on Windows. */
#pragma once

#include <string>
#include <vector>

enum class Severity { Error, Warning, Note };

struct Finding {
    Severity severity;
    std::string code;          // short and stable, for pipelines: "key-missing", "package-crc", ...
    std::string text;          // one line
    std::string file;          // the file concerned, relative to its folder; "" for none
    bool inputOutput = false;  // a folder could not be read at all: no verdict
};

// Checks DravonUpdater.exe, UPDATE.INI, update.udx and update.udi in `release`; with a
// `device` folder (may be empty), also runs the updater's own stages against the
// version.dat there and reports the result and the dialogs that the updater would show.
std::vector<Finding> CheckRelease(const std::string& release, const std::string& device);

struct CheckOptions {
    std::string device;
    bool json = false;    // a JSON array of findings instead of lines and a summary
    bool strict = false;  // warnings count as errors
};

// Prints the findings; returns the exit status: 2 when a folder could not be read, 1 when
// a finding is an error (or, strict, a warning), else 0.
int ReportFindings(const std::vector<Finding>& findings, const CheckOptions& options);
