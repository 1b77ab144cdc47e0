/* tests/good_world.h: a PC on which a run goes well: the updater in C:\Tools\Update\ with
 * its UPDATE.INI, a device at E:\ whose firmware 1.00 is older than the package's 1.01. */
#pragma once

#include <string>
#include <vector>

#include "fake_platform.h"
#include "platform/platform.h"
#include "record_bytes.h"
#include "run/run_state.h"

namespace good_world {

inline const std::string kFolder = "C:\\Tools\\Update\\";
inline const std::string kIni = kFolder + "UPDATE.INI";
inline const std::string kDeviceRecordPath = "E:\\version.dat";
inline const std::string kTitle = "Dravon Updater Test";

inline constexpr unsigned kErrorBox = kBoxOk | kBoxIconError;
inline constexpr unsigned kNoticeBox = kBoxOk | kBoxIconInformation;
inline constexpr unsigned kQuestionBox = kBoxYesNo | kBoxIconQuestion | kBoxDefaultButton1;

inline const std::pair<const char*, const char*> kTexts[] = {
    {"TITLE", "Dravon Updater Test"},
    {"NODRAVON", "No device found.\\nConnect it."},
    {"CONFIRM", "Update now?"},
    {"NOUPDATE", "This package is not for your device."},
    {"NONEED", "Already up to date."},
    {"CURRENT", "Current version : "},
    {"UPDATE", "Update version  : "},
    {"FINISH", "Update staged."},
    {"ERROR", "Failure"},
};

inline void PutDevice(std::uint32_t region, std::uint32_t model, const char* version) {
    FakeFiles_Put(kDeviceRecordPath, record_bytes::DeviceRecord(region, model, version));
}

inline void PutPackage(std::uint32_t region, std::uint32_t model, const char* version) {
    Bytes header = record_bytes::PackageHeader(region, model, version);
    header.resize(700, 0x5A);  // a payload beyond the header
    FakeFiles_Put(kFolder + "update.udx", header);
}

inline void SetUpGoodWorld() {
    FakePlatform_Reset();
    ResetRunState();
    FakeModule_SetPath(kFolder + "DravonUpdater.exe");
    for (auto [key, value] : kTexts) {
        FakeProfile_Set(kIni, "INIT", key, value);
    }
    FakeDrives_Add("C:\\", "SYSTEM");
    FakeDrives_Add("E:\\", "DRAVONUD");
    PutDevice(1, 0x12, "1.00");
    PutPackage(1, 0x12, "1.01");
    FakeFiles_Put(kFolder + "update.udi", Bytes(100, 0x77));
}

inline FakeBox Error(const char* code) {
    return {std::string("Failure CODE : 0x") + code, kTitle, kErrorBox};
}

inline const FakeBox kQuestion = {"Current version : 1.00\nUpdate version  : 1.01\n\nUpdate now?",
                                  kTitle, kQuestionBox};

}  // namespace good_world
