// The program's resources by id (nullptr for an id it does not have), which
// res/register_resources.cpp hands to the window layer.
#pragma once

#include <vector>

#include "platform/win/dialog_template.h"
#include "platform/win/images.h"

const DialogTemplate *ProgramDialogTemplate(int id);
const MenuTemplate *ProgramMenuTemplate(int id);
const char *ProgramString(int id);
const std::vector<IconImage> *ProgramIcon(int id);
const BitmapResource *ProgramBitmap(int id);
