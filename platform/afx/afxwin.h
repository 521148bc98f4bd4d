// The application framework in one include: strings, windows, dialogs,
// controls, menus, device contexts, bitmaps, the application object, data
// exchange and message tables, over the window layer of platform/win.
#pragma once

#include "platform/afx/afxapp.h"
#include "platform/afx/afxctrl.h"
#include "platform/afx/afxdlg.h"
#include "platform/afx/afxgdi.h"
#include "platform/afx/afxgeom.h"
#include "platform/afx/afxmenu.h"
#include "platform/afx/afxmsg.h"
#include "platform/afx/afxstr.h"
#include "platform/afx/afxwnd.h"
