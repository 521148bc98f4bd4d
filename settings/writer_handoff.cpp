#include "settings/writer_handoff.h"

#include "platform/reg/registry.h"
#include "platform/win/lasterror.h"
#include "platform/win/text.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// One subkey's default value, written the way the program always has:
// create the key, set the subkey's value, close the key.
bool WriteSubkeyText(LPCSTR subkey, LPCSTR text) {
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_CURRENT_USER, kWriterHandOffKey, &key) != ERROR_SUCCESS) return false;
  bool ok = RegSetValueA(key, subkey, REG_SZ, text, static_cast<DWORD>(std::strlen(text) + 1)) ==
            ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

bool ReadSubkeyText(HKEY key, LPCSTR subkey, std::string *text) {
  LONG cb = 0;
  if (RegQueryValueA(key, subkey, nullptr, &cb) != ERROR_SUCCESS || cb < 0) return false;
  std::vector<char> buf(static_cast<size_t>(cb) + 1, '\0');
  LONG got = cb;
  if (RegQueryValueA(key, subkey, buf.data(), &got) != ERROR_SUCCESS) return false;
  *text = std::string(buf.data(), strnlen(buf.data(), static_cast<size_t>(got)));
  return true;
}

}  // namespace

BOOL WriteWriterHandOff(LPCSTR outputPath, int outputWave) {
  if (!outputPath || std::strlen(outputPath) >= kWriterHandOffBufferSize) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  char szBuf[kWriterHandOffBufferSize];
  std::memcpy(szBuf, outputPath, std::strlen(outputPath) + 1);
  bool ok = WriteSubkeyText("OutputWMAName", szBuf);
  wsprintfA(szBuf, "%d", outputWave);
  ok = WriteSubkeyText("OUTPUTWAVE", szBuf) && ok;
  return ok ? TRUE : FALSE;
}

BOOL ReadWriterHandOff(std::string *outputPath, int *outputWave) {
  if (outputWave) *outputWave = 0;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kWriterHandOffKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return FALSE;
  std::string path, wave;
  bool ok = ReadSubkeyText(key, "OutputWMAName", &path) && !path.empty();
  if (outputWave && ReadSubkeyText(key, "OUTPUTWAVE", &wave) && !wave.empty()) {
    char *end = nullptr;
    long v = std::strtol(wave.c_str(), &end, 10);
    if (*end == '\0' && v >= INT32_MIN && v <= INT32_MAX) *outputWave = static_cast<int>(v);
  }
  RegCloseKey(key);
  if (ok && outputPath) *outputPath = path;
  return ok ? TRUE : FALSE;
}
