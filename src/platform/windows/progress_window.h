/* platform/windows/progress_window.h: the ids of the progress window, shared by its
 * template (resources/progress.rc) and the code that shows it (progress.cpp). */
#pragma once

#define IDD_PROGRESS 100
#define IDC_PROGRESS_FILE 101
#define IDC_PROGRESS_BAR 102
