/* volume/device_volume.cpp: finding the device's volume by its label. */
#include "volume/device_volume.h"

#include <cstring>

#include "platform/platform.h"
#include "run/run_state.h"
#include "run/text.h"

namespace {

constexpr std::uint32_t kDriveListOffered = 255;  // of a 260-byte buffer
static_assert(kDriveListOffered <= kDeviceRootSize, "any entry of the list fits DeviceRoot");

bool IsDeviceVolume(const char* root) {
    char label[kPathSize];
    return ReadVolumeLabel(root, label, sizeof label) && std::strcmp(label, kDeviceLabel) == 0;
}

}  // namespace

bool FindDeviceVolume() {
    // Zeroed, so that the bytes beyond what the platform wrote read as the list's end.
    char drives[kPathSize] = {};
    std::uint32_t count = ListLogicalDrives(drives, kDriveListOffered);
    // A count above the offer is the size the list would need; never read past the offer.
    std::uint32_t end = count < kDriveListOffered ? count : kDriveListOffered;
    if (end == 0 || drives[0] == '\0') {
        return false;
    }
    for (std::uint32_t position = 0; position < end;) {
        const char* entry = drives + position;
        std::size_t length = BoundedLength(entry, end - position);
        // Only an entry whose NUL lies within the count, in the form of a volume's root
        // (E:\ on Windows), is asked for its label.
        if (length > 0 && length < end - position && IsVolumeRoot(entry)) {
            if (IsDeviceVolume(entry)) {
                std::memcpy(State.DeviceRoot, entry, length + 1);
                State.DeviceSerialKnown =
                    ReadVolumeSerial(entry, State.DeviceSerial, sizeof State.DeviceSerial);
                return true;
            }
        }
        position += static_cast<std::uint32_t>(length) + 1;
    }
    return false;
}

bool DeviceRootHoldsTheFoundVolume() {
    char serial[kSerialSize];
    const bool serialKnown = ReadVolumeSerial(State.DeviceRoot, serial, sizeof serial);
    return IsDeviceVolume(State.DeviceRoot) && serialKnown == State.DeviceSerialKnown &&
           (!serialKnown || std::strcmp(serial, State.DeviceSerial) == 0);
}
