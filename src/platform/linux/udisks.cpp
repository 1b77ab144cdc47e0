/* platform/linux/udisks.cpp: a device that nobody mounted, mounted through udisks2 over the
 * system bus, as file managers reach one: udisks mounts a removable device for a user of the
 * active local session without a password, and where polkit wants an administrator, the
 * desktop's own agent asks for the password. GDBus comes with GTK; libudisks2 would add a
 * library that not every desktop installs, for the four calls made here. */
#include "platform/linux/udisks.h"

#include <gio/gio.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr char kService[] = "org.freedesktop.UDisks2";
constexpr char kRootObject[] = "/org/freedesktop/UDisks2";
constexpr char kBlock[] = "org.freedesktop.UDisks2.Block";
constexpr char kFilesystem[] = "org.freedesktop.UDisks2.Filesystem";
constexpr char kAlreadyMounted[] = "org.freedesktop.UDisks2.Error.AlreadyMounted";

// A bus or a daemon that does not answer is waited for this long at most...
constexpr int kCallTimeout = 5000;  // milliseconds
// ...but a mount may wait for the user to type an administrator's password.
constexpr int kMountTimeout = G_MAXINT;

// The device that this program found through udisks: its object, where it is mounted, and
// whether this program mounted it (and so unmounts it).
struct FoundDevice {
    std::string object;
    std::string mountPoint;
    bool mountedHere = false;
};
FoundDevice found;

GDBusConnection* SystemBus() {
    static GDBusConnection* bus = [] {
        GDBusConnection* connection = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
        if (connection != nullptr) {
            // A bus that goes away (restarted, say) must not end the process mid-copy.
            g_dbus_connection_set_exit_on_close(connection, FALSE);
        }
        return connection;
    }();
    return bus;
}

// One call to udisks: its reply, or nullptr with the remote error's name in `errorName`.
// `arguments` is consumed.
GVariant* Call(const char* object, const char* interface, const char* method, GVariant* arguments,
               const char* replyType, int timeout, std::string* errorName = nullptr) {
    GDBusConnection* bus = SystemBus();
    if (bus == nullptr) {
        if (arguments != nullptr) {
            g_variant_unref(g_variant_ref_sink(arguments));
        }
        return nullptr;
    }
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, kService, object, interface, method, arguments, G_VARIANT_TYPE(replyType),
        G_DBUS_CALL_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION, timeout, nullptr, &error);
    if (error != nullptr) {
        gchar* name = g_dbus_error_get_remote_error(error);
        if (errorName != nullptr) {
            *errorName = name != nullptr ? name : "";
        }
        g_free(name);
        g_error_free(error);
    }
    return reply;
}

// The options of a call, with the user's interaction allowed: `mountOptions` (nullptr for
// udisks's own) for a mount.
GVariant* Options(const char* mountOptions) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&builder, "{sv}", "auth.no_user_interaction",
                          g_variant_new_boolean(FALSE));
    if (mountOptions != nullptr) {
        g_variant_builder_add(&builder, "{sv}", "options", g_variant_new_string(mountOptions));
    }
    return g_variant_new("(a{sv})", &builder);
}

// Whether udisks's Block properties describe a file system labelled exactly `label`, one
// that the system does not ask to be left alone.
bool IsFileSystemLabelled(GVariant* block, const char* label) {
    const char* idLabel = nullptr;
    const char* usage = nullptr;
    gboolean ignore = FALSE;
    return g_variant_lookup(block, "IdLabel", "&s", &idLabel) && g_strcmp0(idLabel, label) == 0 &&
           g_variant_lookup(block, "IdUsage", "&s", &usage) &&
           g_strcmp0(usage, "filesystem") == 0 &&
           !(g_variant_lookup(block, "HintIgnore", "b", &ignore) && ignore);
}

bool HasMountPoints(GVariant* filesystem) {
    GVariant* points = g_variant_lookup_value(filesystem, "MountPoints", G_VARIANT_TYPE("aay"));
    const bool mounted = points != nullptr && g_variant_n_children(points) > 0;
    if (points != nullptr) {
        g_variant_unref(points);
    }
    return mounted;
}

// udisks's objects of the unmounted file systems labelled `label`, in the order of their
// names (sda before sdb), all in one call.
std::vector<std::string> UnmountedFileSystemsLabelled(const char* label) {
    GVariant* reply = Call(kRootObject, "org.freedesktop.DBus.ObjectManager", "GetManagedObjects",
                           nullptr, "(a{oa{sa{sv}}})", kCallTimeout);
    std::vector<std::string> objects;
    if (reply == nullptr) {
        return objects;
    }
    GVariantIter* iterator = nullptr;
    g_variant_get(reply, "(a{oa{sa{sv}}})", &iterator);
    const char* object = nullptr;
    GVariant* interfaces = nullptr;
    while (g_variant_iter_loop(iterator, "{&o@a{sa{sv}}}", &object, &interfaces)) {
        GVariant* block = g_variant_lookup_value(interfaces, kBlock, G_VARIANT_TYPE_VARDICT);
        GVariant* filesystem =
            g_variant_lookup_value(interfaces, kFilesystem, G_VARIANT_TYPE_VARDICT);
        if (block != nullptr && filesystem != nullptr && IsFileSystemLabelled(block, label) &&
            !HasMountPoints(filesystem)) {
            objects.emplace_back(object);
        }
        for (GVariant* properties : {block, filesystem}) {
            if (properties != nullptr) {
                g_variant_unref(properties);
            }
        }
    }
    g_variant_iter_free(iterator);
    g_variant_unref(reply);
    std::sort(objects.begin(), objects.end());
    return objects;
}

// Where `object` is mounted now, whoever mounted it.
bool FirstMountPoint(const std::string& object, std::string* mountPoint) {
    GVariant* reply = Call(object.c_str(), "org.freedesktop.DBus.Properties", "Get",
                           g_variant_new("(ss)", kFilesystem, "MountPoints"), "(v)", kCallTimeout);
    if (reply == nullptr) {
        return false;
    }
    GVariant* points = nullptr;
    g_variant_get(reply, "(v)", &points);
    const bool mounted =
        g_variant_is_of_type(points, G_VARIANT_TYPE("aay")) && g_variant_n_children(points) > 0;
    if (mounted) {
        GVariant* first = g_variant_get_child_value(points, 0);
        *mountPoint = g_variant_get_bytestring(first);
        g_variant_unref(first);
    }
    g_variant_unref(points);
    g_variant_unref(reply);
    return mounted && !mountPoint->empty();
}

// Mounts `object` with `mountOptions` (nullptr: udisks's own) and says where, and whether this
// program mounted it: an automounter that got there first lends its mount.
bool Mount(const std::string& object, const char* mountOptions, std::string* mountPoint,
           bool* mountedHere) {
    std::string errorName;
    GVariant* reply = Call(object.c_str(), kFilesystem, "Mount", Options(mountOptions), "(s)",
                           kMountTimeout, &errorName);
    *mountedHere = reply != nullptr;
    if (reply == nullptr) {
        return errorName == kAlreadyMounted && FirstMountPoint(object, mountPoint);
    }
    const char* path = nullptr;
    g_variant_get(reply, "(&s)", &path);
    *mountPoint = path;
    g_variant_unref(reply);
    return true;
}

bool Unmount(const std::string& object) {
    GVariant* reply =
        Call(object.c_str(), kFilesystem, "Unmount", Options(nullptr), "()", kCallTimeout);
    if (reply != nullptr) {
        g_variant_unref(reply);
    }
    return reply != nullptr;
}

}  // namespace

// Read-only, so that nothing is written before Yes: a read-write mount of a FAT volume
// already sets its dirty flag. Only the first unmounted one is the device.
bool MountUnmountedDeviceReadOnly(const char* label, std::string* mountPoint) {
    const std::vector<std::string> objects = UnmountedFileSystemsLabelled(label);
    if (objects.empty()) {
        return false;
    }
    FoundDevice device{objects.front(), "", false};
    if (!Mount(device.object, "ro", &device.mountPoint, &device.mountedHere)) {
        return false;
    }
    found = device;
    *mountPoint = found.mountPoint;
    return true;
}

// The check read the volume at the read-only mount point, so the copy must find it there
// again; udisks gives a device the same folder while nothing else took it.
bool MountDeviceForWriting() {
    if (!found.mountedHere) {
        return true;
    }
    if (!Unmount(found.object)) {
        return false;  // still the read-only mount: unmounted at the end
    }
    found.mountedHere = false;
    std::string mountPoint;
    if (!Mount(found.object, nullptr, &mountPoint, &found.mountedHere)) {
        return false;
    }
    return mountPoint == found.mountPoint;
}

void UnmountWhatThisProgramMounted() {
    if (found.mountedHere && Unmount(found.object)) {
        found.mountedHere = false;
    }
}
