/* tests/e2e/e2e_support.h: what the end-to-end tests share: files, commands, escapes. */
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/escape.h"

// A variable that run-e2e sets; fails the test when it is missing.
std::string Environment(const char* name);

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& content);

// Output of a shell command, with line ends made LF; its exit status in *status.
std::string Capture(const std::string& command, int* status);

// How many file systems are mounted at `mountPoint`, one over another.
int MountsAt(const std::filesystem::path& mountPoint);
inline bool Mounted(const std::filesystem::path& mountPoint) {
    return MountsAt(mountPoint) > 0;
}

// Waits up to 5 s for the process `id` (as the shell printed it; "" for none) to end.
void WaitUntilEnded(const std::string& id);

// Processes that keep the CPU busy while this lives, as other programs on a shared machine do.
class BusyProcesses {
  public:
    explicit BusyProcesses(int count);
    ~BusyProcesses();
    BusyProcesses(const BusyProcesses&) = delete;
    BusyProcesses& operator=(const BusyProcesses&) = delete;

  private:
    std::vector<std::string> ids_;
};

// A drive's folder served through tests/e2e/fault-device: the device that fails as the
// faults (its options) say, and logs every open, create, write, truncate and rename.
class FaultDevice {
  public:
    // Mounts `folder` at `mountPoint`; false when the mount did not appear.
    bool Mount(const std::filesystem::path& folder, const std::filesystem::path& mountPoint,
               const std::string& faults);
    // Unmounts it, if mounted, and waits for the file system to end.
    void Unmount();
    // The log's lines that create, write or truncate update.udx or update.udi themselves:
    // a package file written in place, where a fault would leave it half written.
    std::string WritesInPlace() const;

  private:
    std::filesystem::path mountPoint_;
    std::filesystem::path log_;
    std::string process_;
};
