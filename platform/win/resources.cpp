#include "platform/win/resources.h"

namespace {
// Function-local so a registration from another file's static
// initialisation never meets it unconstructed.
ResourceLookup &Registered() {
  static ResourceLookup lookup;
  return lookup;
}
}  // namespace

void RegisterResources(const ResourceLookup &lookup) { Registered() = lookup; }

const DialogTemplate *FindDialogTemplate(int id) {
  auto find = Registered().dialog;
  return find ? find(id) : nullptr;
}

const MenuTemplate *FindMenuTemplate(int id) {
  auto find = Registered().menu;
  return find ? find(id) : nullptr;
}

const char *FindStringResource(int id) {
  auto find = Registered().string;
  return find ? find(id) : nullptr;
}

const std::vector<IconImage> *FindIconResource(int id) {
  auto find = Registered().icon;
  return find ? find(id) : nullptr;
}

const IconImage *FindIconImage(int id, int size) {
  const std::vector<IconImage> *images = FindIconResource(id);
  if (!images || images->empty()) return nullptr;
  for (const IconImage &image : *images)
    if (image.size >= size) return &image;
  return &images->back();
}

const BitmapResource *FindBitmapResource(int id) {
  auto find = Registered().bitmap;
  return find ? find(id) : nullptr;
}
