// Compiled into every program that links quavix_dshow (see CMakeLists.txt).
#include "platform/dshow/graph_classes.h"

namespace {
const bool g_registered = (RegisterMediaGraphClasses(), true);
}
