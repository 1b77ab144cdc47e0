/* tests/e2e/e2e_support.h: what the end-to-end tests share: files, commands, escapes. */
#pragma once

#include <filesystem>
#include <string>

#include "tools/escape.h"

// A variable that run-e2e sets; fails the test when it is missing.
std::string Environment(const char* name);

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& content);

// Output of a shell command, with line ends made LF; its exit status in *status.
std::string Capture(const std::string& command, int* status);
