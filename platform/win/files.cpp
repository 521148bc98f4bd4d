#include "platform/win/files.h"

#include "platform/win/lasterror.h"

#include <unistd.h>

#include <cerrno>

BOOL DeleteFileA(LPCSTR lpFileName) {
  if (!lpFileName || !*lpFileName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (unlink(lpFileName) == 0) return TRUE;
  switch (errno) {
    case ENOENT: SetLastError(ERROR_FILE_NOT_FOUND); break;
    case ENOTDIR: SetLastError(ERROR_PATH_NOT_FOUND); break;
    case ENAMETOOLONG: SetLastError(ERROR_FILENAME_EXCED_RANGE); break;
    default: SetLastError(ERROR_ACCESS_DENIED); break;
  }
  return FALSE;
}
