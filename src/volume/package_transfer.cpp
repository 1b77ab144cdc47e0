/* volume/package_transfer.cpp: copying update.udx and update.udi to the device root. */
#include "volume/package_transfer.h"

#include "platform/platform.h"
#include "run/run_state.h"
#include "run/text.h"

namespace {

// A path that would not fit its buffer is a failed copy, never a copy of a name cut short.
bool CopyPackageFile(const char* fileName) {
    char source[kPathSize];
    char destination[kPathSize];
    return ComposePath(source, State.ProgramDirectory, fileName) &&
           ComposePath(destination, State.DeviceRoot, fileName) &&
           CopyFileReplacing(source, destination);
}

}  // namespace

bool CopyUpdatePackage() {
    return CopyPackageFile(kPackageHeaderName) && CopyPackageFile(kPackagePayloadName);
}
