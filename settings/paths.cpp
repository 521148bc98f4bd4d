#include "settings/paths.h"

#include "platform/win/system.h"
#include "platform/win/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

std::string GetFolderOfPath(LPCSTR path) {
  if (!path) return "";
  const char *slash = std::strrchr(path, '/');
  return slash ? std::string(path, static_cast<size_t>(slash - path) + 1) : std::string();
}

std::string GetPathTail(LPCSTR path) {
  if (!path) return "";
  const char *slash = std::strrchr(path, '/');
  return slash ? std::string(slash) : std::string();
}

BOOL GetMediaFileName(LPCSTR path, LPSTR out, size_t outSize) {
  if (!path || !*path || !out) return FALSE;
  size_t len = std::strlen(path);
  const char *name = path;
  if (!((len > 3 && path[3] == ':') || (len > 4 && path[4] == ':'))) {
    if (const char *slash = std::strrchr(path, '/')) name = slash + 1;
  }
  size_t n = std::strlen(name);
  if (n >= outSize) return FALSE;
  std::memcpy(out, name, n + 1);
  return TRUE;
}

BOOL FileExists(LPCSTR path) {
  if (!path || !*path) return FALSE;
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return FALSE;
  struct stat st;
  bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  return regular ? TRUE : FALSE;
}

BOOL ProposeOutputPath(const std::string &outputFolder, LPCSTR midiPath, std::string *outputPath) {
  char szName[MAX_PATH];
  if (!outputPath || !GetMediaFileName(midiPath, szName, sizeof szName)) return FALSE;
  if (char *dot = std::strrchr(szName, '.')) *dot = '\0';
  if (std::strlen(szName) + std::strlen(".wma") >= sizeof szName) return FALSE;
  char szFile[MAX_PATH];
  wsprintfA(szFile, "%s.wma", szName);
  *outputPath = outputFolder + szFile;
  return TRUE;
}

std::string BrowseInitialFolder(const std::string &outputPath) {
  size_t slash = outputPath.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return outputPath.substr(0, slash);
}

BOOL BrowseOutputPath(LPCSTR confirmedName, std::string *outputPath) {
  if (!confirmedName || !*confirmedName || !outputPath) return FALSE;
  std::string name(confirmedName);
  if (name.size() >= kFileDialogBufferSize) return FALSE;
  size_t slash = name.rfind('/');
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.erase(dot);
  *outputPath = name + ".wma";
  return TRUE;
}

BOOL MakeTempWavPath(std::string *tempWavPath) {
  if (!tempWavPath) return FALSE;
  tempWavPath->clear();
  char szTemp[MAX_PATH];
  DWORD n = GetTempPathA(MAX_PATH, szTemp);
  if (n == 0 || n >= MAX_PATH) return FALSE;
  if (std::strlen(szTemp) + std::strlen("kqzttemp.wav") >= MAX_PATH) return FALSE;
  char szWav[MAX_PATH];
  wsprintfA(szWav, "%skqzttemp.wav", szTemp);
  *tempWavPath = szWav;
  return TRUE;
}

std::string HelpCommandLine(LPCSTR exePath) {
  return "hh.exe " + GetFolderOfPath(exePath) + "help.chm::/Introduction.htm";
}

std::string MediaPlayerPath(const std::string &tempFolder) {
  if (tempFolder.empty()) return "";
  return tempFolder.substr(0, 3) + "Program Files/Windows Media Player/mplayer2.exe";
}
