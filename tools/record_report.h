/* tools/record_report.h: what a record file holds, as the updater reads it. */
#pragma once

#include <string>
#include <vector>

// Prints, for each file, whether it is a device version record or a package header and its
// fields and CRCs. Returns 1 when a file can't be read or is neither record, else 0.
int InspectFiles(const std::vector<std::string>& paths);
