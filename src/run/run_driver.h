/* run/run_driver.h: the update run from start to end. */
#pragma once

// Runs the stages in order (single instance, catalogue, device, firmware check, and for an
// accepted offer the transfer) and ends every path past the guard with exactly one dialog,
// or a question and one more. Returns the exit status, always 0.
int RunUpdater();
