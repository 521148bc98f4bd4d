#include "writer/handoff.h"

#include <vector>

#include "platform/reg/registry.h"

namespace quavix::writer {
namespace {

// The default value of `subkey`, read whole: a path is never cut to fit a
// buffer, because a cut path would write the wrong file.
LONG ReadDefaultValue(HKEY key, const char *subkey, std::string *out) {
  out->clear();
  for (int attempt = 0; attempt < 3; ++attempt) {
    LONG cb = 0;
    LONG rc = RegQueryValueA(key, subkey, nullptr, &cb);
    if (rc != ERROR_SUCCESS) return rc;
    if (cb <= 1) return ERROR_SUCCESS;
    std::vector<char> buf(static_cast<size_t>(cb) + 1, '\0');
    LONG got = cb;
    rc = RegQueryValueA(key, subkey, buf.data(), &got);
    if (rc == ERROR_MORE_DATA) continue;  // changed between the two reads
    if (rc != ERROR_SUCCESS) return rc;
    out->assign(buf.data());
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

}  // namespace

LONG ReadWriterHandOff(WriterHandOff *out) {
  *out = WriterHandOff{};
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, kHandOffKey, 0, KEY_QUERY_VALUE, &key);
  if (rc != ERROR_SUCCESS) return rc;
  rc = ReadDefaultValue(key, kOutputNameSubkey, &out->outputPath);
  std::string wave;
  if (ReadDefaultValue(key, kOutputWaveSubkey, &wave) == ERROR_SUCCESS) out->outputWave = wave;
  RegCloseKey(key);
  if (rc == ERROR_SUCCESS && out->outputPath.empty()) rc = ERROR_FILE_NOT_FOUND;
  return rc;
}

}  // namespace quavix::writer
