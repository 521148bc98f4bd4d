// The window layer in one include: windows, messages, timers, dialogs,
// menus, icons, message boxes, file dialogs and the test seam.
#pragma once

#include "platform/win/dialogs.h"
#include "platform/win/file_dialog.h"
#include "platform/win/gdi.h"
#include "platform/win/icon.h"
#include "platform/win/menu.h"
#include "platform/win/message_box.h"
#include "platform/win/messages.h"
#include "platform/win/timers.h"
#include "platform/win/ui_seam.h"
#include "platform/win/window.h"
