/* tools/bundle_platform.h: the updater's platform operations over folders on this machine,
 * so that the release check runs the updater's own code against a release folder.
 *
 * Drive P: is the release folder (the updater lies at P:\DravonUpdater.exe) and, when a
 * device folder is given, E: is that folder, labelled DRAVONUD. File names are found
 * case-insensitively, as on Windows. UPDATE.INI is read by platform/common's reader. Nothing
 * is ever written: a copy fails, and a question is answered No. */
#pragma once

#include <string>
#include <vector>

struct ShownDialog {
    std::string caption;
    std::string text;
    unsigned style;
};

// Sets the folders; `device` may be empty (no device attached).
void BundlePlatform_Set(const std::string& release, const std::string& device);

// The dialogs shown since the folders were set.
const std::vector<ShownDialog>& BundlePlatform_Dialogs();

// The file in `folder` whose name matches `name` case-insensitively; "" when none.
std::string FindFileNoCase(const std::string& folder, const std::string& name);
