// Where the window layer finds a program's resources by id, as Windows finds
// them in a module: the program registers its lookups once, before main
// (res/register_resources.cpp); until then every lookup finds nothing.
#pragma once

#include <vector>

#include "platform/win/dialog_template.h"
#include "platform/win/images.h"

struct ResourceLookup {
  const DialogTemplate *(*dialog)(int id) = nullptr;
  const MenuTemplate *(*menu)(int id) = nullptr;
  const char *(*string)(int id) = nullptr;
  const std::vector<IconImage> *(*icon)(int id) = nullptr;
  const BitmapResource *(*bitmap)(int id) = nullptr;
};

// Replaces the registered lookups. Not thread-safe: call it during start-up.
void RegisterResources(const ResourceLookup &lookup);
