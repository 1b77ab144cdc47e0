/* tests/e2e/e2e_support.cpp: what the end-to-end tests share. */
#include "tests/e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

// CTest runs each scenario in a process of its own; the Wine session that wine-session
// started for them all is described in the file that DRAVON_E2E_ENV names.
struct SessionEnvironment {
    SessionEnvironment() {
        const char* file = std::getenv("DRAVON_E2E_ENV");
        std::ifstream in(file != nullptr ? file : "");
        for (std::string line; std::getline(in, line);) {
            std::size_t equals = line.find('=');
            if (equals != std::string::npos) {
                setenv(line.substr(0, equals).c_str(), line.substr(equals + 1).c_str(), 1);
            }
        }
    }
} sessionEnvironment;

}  // namespace

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        ADD_FAILURE() << name << " is not set: run the suite through run-e2e";
        return "";
    }
    return value;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string Capture(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    std::array<char, 4096> chunk;
    while (std::size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe)) {
        output.append(chunk.data(), n);
    }
    *status = pclose(pipe);
    std::erase(output, '\r');  // the Windows side writes CR LF line ends
    return output;
}

int MountsAt(const fs::path& mountPoint) {
    std::istringstream table(ReadFile("/proc/self/mountinfo"));
    int mounts = 0;
    for (std::string line; std::getline(table, line);) {
        mounts += line.find(" " + mountPoint.string() + " ") != std::string::npos ? 1 : 0;
    }
    return mounts;
}

void WaitUntilEnded(const std::string& id) {
    for (int i = 0; !id.empty() && i < 500; ++i) {
        if (std::system(("kill -0 " + id + " 2>/dev/null").c_str()) != 0) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

BusyProcesses::BusyProcesses(int count) {
    for (int i = 0; i < count; ++i) {
        int status = 0;
        std::string id = Capture("sh -c 'while :; do :; done' >/dev/null 2>&1 & echo $!", &status);
        ids_.push_back(id.substr(0, id.find('\n')));
    }
}

BusyProcesses::~BusyProcesses() {
    for (const std::string& id : ids_) {
        std::system(("kill " + id + " 2>/dev/null").c_str());
        WaitUntilEnded(id);
    }
}

bool FaultDevice::Mount(const fs::path& folder, const fs::path& mountPoint,
                        const std::string& faults) {
    mountPoint_ = mountPoint;
    log_ = mountPoint.parent_path() / "fault-device.log";
    fs::create_directories(mountPoint);
    int status = 0;
    process_ = Capture(Environment("DRAVON_E2E_SOURCE") + "/tests/e2e/fault-device --log '" +
                           log_.string() + "' " + faults + " '" + folder.string() + "' '" +
                           mountPoint.string() + "' >/dev/null 2>&1 & echo $!",
                       &status);
    process_.erase(process_.find_last_not_of('\n') + 1);
    for (int i = 0; i < 300 && !Mounted(mountPoint); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Mounted(mountPoint);
}

void FaultDevice::Unmount() {
    if (Mounted(mountPoint_)) {
        EXPECT_EQ(std::system(("umount '" + mountPoint_.string() + "'").c_str()), 0);
    }
    WaitUntilEnded(process_);
    process_.clear();
}

std::string FaultDevice::WritesInPlace() const {
    std::istringstream lines(ReadFile(log_));
    std::string found;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string call, path, mode;
        words >> call >> path >> mode;
        const bool finalName = path == "/update.udx" || path == "/update.udi";
        const bool writing = call == "create" || call == "write" || call == "truncate" ||
                             (call == "open" && line.ends_with(" trunc"));
        if (finalName && writing) {
            found += line + "\n";
        }
    }
    return found;
}
