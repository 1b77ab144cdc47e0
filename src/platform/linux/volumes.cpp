/* platform/linux/volumes.cpp: the mounted volumes as the updater's drive list, and their
 * labels: the mount table through libmount, the labels through libblkid; after them, a device
 * that nobody mounted, through udisks2. */
#include <blkid.h>
#include <dirent.h>
#include <libmount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/udisks.h"
#include "platform/platform.h"
#include "volume/device_volume.h"

namespace {

// The mount table of this process, read afresh (a volume may come or go between calls).
struct MountTable {
    libmnt_table* table = mnt_new_table();
    MountTable() {
        if (table != nullptr && mnt_table_parse_mtab(table, nullptr) != 0) {
            mnt_free_table(table);
            table = nullptr;
        }
    }
    ~MountTable() { mnt_free_table(table); }
    MountTable(const MountTable&) = delete;
    MountTable& operator=(const MountTable&) = delete;
};

enum class Probe { Read, NoAccess, Failed };

// The `name` ("LABEL", "UUID") in the volume's own superblock. NoAccess when the device may
// not be read (an unprivileged user may not open block devices where no udev grants access).
Probe ProbeValue(const char* device, const char* name, std::string* value) {
    blkid_probe probe = blkid_new_probe_from_filename(device);
    if (probe == nullptr) {
        return errno == EACCES || errno == EPERM ? Probe::NoAccess : Probe::Failed;
    }
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID);
    // A volume that the device holds but without a label has the empty label.
    const char* found = nullptr;
    bool read = blkid_do_safeprobe(probe) == 0 &&
                blkid_probe_lookup_value(probe, name, &found, nullptr) == 0;
    *value = read ? found : "";
    blkid_free_probe(probe);
    return Probe::Read;
}

Probe ProbeLabel(const char* device, std::string* label) {
    return ProbeValue(device, "LABEL", label);
}

// Whether the desktop's /dev/disk/by-label links, or libblkid's cache, name `devno` as the
// device labelled DRAVONUD: the answer that a user who may not read the device can have.
// Asked once, and only by such a user, who can't write the system's cache either: a run as
// root never changes it.
bool KnownAsDevice(dev_t devno) {
    static dev_t known = [] {
        char* device = blkid_evaluate_tag("LABEL", kDeviceLabel, nullptr);
        struct stat status {};
        dev_t found = device != nullptr && stat(device, &status) == 0 ? status.st_rdev : 0;
        std::free(device);
        return found;
    }();
    return known != 0 && known == devno;
}

// The label of a mounted volume, or when it can't be read the last component of the
// mount point (where desktops mount a volume by its label). False for a mount point that
// is gone or can't be entered: such a mount is skipped.
bool LabelOf(libmnt_fs* fs, std::string* label) {
    const char* target = mnt_fs_get_target(fs);
    if (target == nullptr || access(target, R_OK | X_OK) != 0) {
        return false;
    }
    dev_t devno = mnt_fs_get_devno(fs);
    if (major(devno) != 0) {
        char* device = blkid_devno_to_devname(devno);
        Probe probe = device != nullptr ? ProbeLabel(device, label) : Probe::Failed;
        std::free(device);
        if (probe == Probe::Read) {
            return true;
        }
        if (probe == Probe::NoAccess && geteuid() != 0 && KnownAsDevice(devno)) {
            *label = kDeviceLabel;
            return true;
        }
    }
    const char* last = std::strrchr(target, '/');
    *label = last != nullptr ? last + 1 : target;
    return true;
}

// The roots just listed and their labels, so that the core's reading of each label right
// after the listing does not probe the device again (a probe reads its superblocks).
std::vector<std::pair<std::string, std::string>>& Listed() {
    static std::vector<std::pair<std::string, std::string>> listed;
    return listed;
}

// The mount now at `root` (a mount point and a "/"), the last of those on that folder; nullptr
// for none.
libmnt_fs* MountAt(const MountTable& mounts, const char* root) {
    std::string target = root;
    if (target.size() > 1 && target.ends_with('/')) {
        target.pop_back();
    }
    return mounts.table != nullptr
               ? mnt_table_find_target(mounts.table, target.c_str(), MNT_ITER_BACKWARD)
               : nullptr;
}

// The block device that a mount is made from: its source (a loop device under fusefat), or
// else the device of its number; 0 for a file system without one.
dev_t BlockDeviceOf(libmnt_fs* fs) {
    struct stat status {};
    const char* source = mnt_fs_get_source(fs);
    if (source != nullptr && stat(source, &status) == 0 && S_ISBLK(status.st_mode)) {
        return status.st_rdev;
    }
    return major(mnt_fs_get_devno(fs)) != 0 ? mnt_fs_get_devno(fs) : 0;
}

// The /dev/disk/by-uuid link that names `device`: the UUID that a user who may not read the
// device can have.
bool UuidLinkOf(dev_t device, std::string* uuid) {
    DIR* links = opendir("/dev/disk/by-uuid");
    if (links == nullptr) {
        return false;
    }
    bool found = false;
    for (dirent* link = readdir(links); link != nullptr && !found; link = readdir(links)) {
        struct stat status {};
        found = link->d_name[0] != '.' && fstatat(dirfd(links), link->d_name, &status, 0) == 0 &&
                S_ISBLK(status.st_mode) && status.st_rdev == device;
        if (found) {
            *uuid = link->d_name;
        }
    }
    closedir(links);
    return found;
}

// The root that the core appends file names to: the mount point and a "/".
std::string RootOf(const char* target) {
    std::string root = target;
    return root.ends_with('/') ? root : root + "/";
}

// Appends the root of `target` to the list of `used` characters in `buffer`, unless it does
// not fit with its NUL and the list's final one.
void List(const char* target, const std::string& label, char* buffer, std::uint32_t size,
          std::uint32_t* used) {
    std::string root = RootOf(target);
    if (*used + root.size() + 2 > size) {
        return;
    }
    std::memcpy(buffer + *used, root.c_str(), root.size() + 1);
    *used += static_cast<std::uint32_t>(root.size() + 1);
    Listed().emplace_back(root, label);
}

}  // namespace

// A desktop has dozens of mounts, far more than the core's 255-byte list can hold, and a
// stick plugged in late is mounted last; so the list holds only the mounts that can be the
// device, those labelled DRAVONUD, in the mount table's order. The core still reads and
// compares each one's label. A mount hidden by a later one on the same mount point, and a
// root that does not fit, are left out. Only when no mount is labelled DRAVONUD is udisks2
// asked for a device that nobody mounted: mounted for the run, it is the list's one entry.
std::uint32_t ListLogicalDrives(char* buffer, std::uint32_t size) {
    MountTable mounts;
    libmnt_iter* iterator = mnt_new_iter(MNT_ITER_FORWARD);
    if (mounts.table == nullptr || iterator == nullptr || size == 0) {
        mnt_free_iter(iterator);
        return 0;
    }
    std::uint32_t used = 0;
    Listed().clear();
    libmnt_fs* fs = nullptr;
    while (mnt_table_next_fs(mounts.table, iterator, &fs) == 0) {
        const char* target = mnt_fs_get_target(fs);
        std::string label;
        if (target == nullptr ||
            mnt_table_find_target(mounts.table, target, MNT_ITER_BACKWARD) != fs ||
            !LabelOf(fs, &label) || label != kDeviceLabel) {
            continue;
        }
        List(target, label, buffer, size, &used);
    }
    mnt_free_iter(iterator);
    std::string mountPoint;
    if (used == 0 && MountUnmountedDeviceReadOnly(kDeviceLabel, &mountPoint)) {
        List(mountPoint.c_str(), kDeviceLabel, buffer, size, &used);
    }
    buffer[used] = '\0';
    return used;
}

bool IsVolumeRoot(const char* entry) {
    std::size_t length = std::strlen(entry);
    return length >= 1 && entry[0] == '/' && entry[length - 1] == '/';
}

// What the listing read answers the reading right after it, once: a later one, such as the
// check before the copy that the stick was not swapped, reads the volume afresh.
bool ReadVolumeLabel(const char* root, char* label, std::uint32_t size) {
    auto& listed = Listed();
    const auto entry = std::find_if(listed.begin(), listed.end(),
                                    [root](const auto& item) { return item.first == root; });
    if (entry != listed.end()) {
        const bool copied = std::snprintf(label, size, "%s", entry->second.c_str()) >= 0;
        listed.erase(entry);
        return copied;
    }
    MountTable mounts;
    libmnt_fs* fs = MountAt(mounts, root);
    std::string text;
    if (fs == nullptr || !LabelOf(fs, &text)) {
        return false;
    }
    // A label longer than the buffer is cut, as Windows cuts one.
    return std::snprintf(label, size, "%s", text.c_str()) >= 0;
}

// The file system's UUID (a FAT volume's serial) of the mount's block device. The device's
// number alone can't tell two sticks apart: one plugged in after another often gets the same
// node and number, and FUSE mounts reuse theirs.
bool ReadVolumeSerial(const char* root, char* serial, std::uint32_t size) {
    MountTable mounts;
    libmnt_fs* fs = MountAt(mounts, root);
    const dev_t device = fs != nullptr ? BlockDeviceOf(fs) : 0;
    char* name = device != 0 ? blkid_devno_to_devname(device) : nullptr;
    std::string uuid;
    const Probe probe = name != nullptr ? ProbeValue(name, "UUID", &uuid) : Probe::Failed;
    std::free(name);
    const bool read = (probe == Probe::Read && !uuid.empty()) ||
                      (probe == Probe::NoAccess && UuidLinkOf(device, &uuid));
    const int length = read ? std::snprintf(serial, size, "%s", uuid.c_str()) : -1;
    return length > 0 && static_cast<std::uint32_t>(length) < size;
}
