// Deleting files.
#pragma once

#include "platform/win/windef.h"

// Removes the directory entry itself: a symbolic link is removed, never the
// file it points to. A folder is not removed (ERROR_ACCESS_DENIED).
BOOL DeleteFileA(LPCSTR lpFileName);
