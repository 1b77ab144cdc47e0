/* tests/e2e/profile_reader.cpp: prints values read by the Windows profile functions.
 *
 *   profile-reader FILE SECTION KEY [SECTION KEY]...
 *
 * For each pair, prints "SECTION|KEY=VALUE" (backslash escapes as in dialog-driver) or
 * "SECTION|KEY absent" when the default came back. */
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/escape.h"

namespace {

constexpr char kAbsent[] = "\x01<absent>\x01";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: profile-reader FILE SECTION KEY [SECTION KEY]...\n");
        return 2;
    }
    std::vector<char> value(65536);
    for (int i = 2; i + 1 < argc; i += 2) {
        GetPrivateProfileStringA(argv[i], argv[i + 1], kAbsent, value.data(),
                                 static_cast<DWORD>(value.size()), argv[1]);
        if (std::string(value.data()) == kAbsent) {
            std::printf("%s|%s absent\n", argv[i], argv[i + 1]);
        } else {
            std::printf("%s|%s=%s\n", argv[i], argv[i + 1], Escape(value.data()).c_str());
        }
    }
    return 0;
}
