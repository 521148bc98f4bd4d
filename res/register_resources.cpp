// Registers the program's resources with the window layer before main. An
// object of its own on every link line that uses quavix_res, so the linker
// cannot drop it as unreferenced.
#include "platform/win/resources.h"
#include "res/program_resources.h"

namespace {
const bool kRegistered = [] {
  ResourceLookup lookup;
  lookup.dialog = &ProgramDialogTemplate;
  lookup.menu = &ProgramMenuTemplate;
  lookup.string = &ProgramString;
  lookup.icon = &ProgramIcon;
  lookup.bitmap = &ProgramBitmap;
  RegisterResources(lookup);
  return true;
}();
}  // namespace
