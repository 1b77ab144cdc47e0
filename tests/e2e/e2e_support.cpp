/* tests/e2e/e2e_support.cpp: what the end-to-end tests share. */
#include "tests/e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>

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
