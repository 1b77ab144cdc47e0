/* run/run_state.h: the process-wide values through which the stages of a run hand on
 * their results. Each stage fills its values; later stages read them. */
#pragma once

#include <cstdint>

inline constexpr int kTextSlotSize = 256;          // a dialog text: 255 characters and a NUL
inline constexpr int kPathSize = 260;              // a composed path: 259 characters and a NUL
inline constexpr int kDialogTextSize = 512;        // a composed dialog text: 511 and a NUL
inline constexpr int kDeviceRootSize = kPathSize;  // "E:\", or a Linux mount point and "/"
inline constexpr int kVersionFieldSize = 12;       // the version field of both records
inline constexpr int kVersionTextSize = kVersionFieldSize + 1;
inline constexpr int kSerialSize = 40;  // a volume's serial as text: a FAT one, or a UUID

// The files that the updater reads and copies: beside the executable and on the device.
inline constexpr char kCatalogueName[] = "UPDATE.INI";
inline constexpr char kPackageHeaderName[] = "update.udx";
inline constexpr char kPackagePayloadName[] = "update.udi";
inline constexpr char kDeviceRecordName[] = "version.dat";

struct FirmwareIdentity {
    std::uint32_t region;  // in a package header, 0 stands for every region
    std::uint32_t model;
    char version[kVersionTextSize];  // the field up to its first NUL, at most 12 bytes
};

// The one-byte result of the firmware check, shown to the user as 0x%02X.
enum class CheckResult : std::uint8_t {
    Offer = 0x00,
    NoNeed = 0x01,
    DeviceRecordUnopenable = 0x10,
    DeviceRecordShort = 0x11,
    DeviceRecordCorrupt = 0x12,
    PackageHeaderUnopenable = 0x20,
    PackageHeaderShort = 0x21,
    PackageHeaderCorrupt = 0x22,
    RegionMismatch = 0x30,
    ModelMismatch = 0x31,
};

struct RunState {
    // The dialog texts, in the order in which UPDATE.INI is read.
    char TITLE[kTextSlotSize];
    char NODRAVON[kTextSlotSize];
    char CONFIRM[kTextSlotSize];
    char NOUPDATE[kTextSlotSize];
    char NONEED[kTextSlotSize];
    char CURRENT[kTextSlotSize];
    char UPDATE[kTextSlotSize];
    char FINISH[kTextSlotSize];
    char ERROR[kTextSlotSize];
    bool DISABLE_VER;
    char ProgramDirectory[kPathSize];  // ends in the path separator once determined
    char DeviceRoot[kDeviceRootSize];
    // The serial of the volume found at DeviceRoot, where it could be read.
    bool DeviceSerialKnown;
    char DeviceSerial[kSerialSize];
    FirmwareIdentity DeviceIdentity;
    FirmwareIdentity PackageIdentity;
};

extern RunState State;

// Puts every value back to its content at start (a new process starts that way).
void ResetRunState();
