// Linked into every program that links quavix_pulse (see CMakeLists.txt).
#include "platform/dshow/pulse/device_enum.h"

namespace {
const bool g_registered = (RegisterCaptureDeviceClasses(), true);
}
