// The two values the program hands to the writer before each run, in the
// per-user registry: under HKEY_CURRENT_USER "Software\ZORVEKA\VORLINTA", the
// default value of subkey "OutputWMAName" (the path of the WMA file to write)
// and of subkey "OUTPUTWAVE".
//
// "OUTPUTWAVE" is read and kept for diagnostics only. The program always
// hands over "0", and the writer behaves the same whatever it holds: it
// writes the WMA file and passes the audio on as WAV at its output pin.
#pragma once

#include <string>

#include "platform/win/windef.h"

namespace quavix::writer {

inline constexpr const char *kHandOffKey = "Software\\ZORVEKA\\VORLINTA";
inline constexpr const char *kOutputNameSubkey = "OutputWMAName";
inline constexpr const char *kOutputWaveSubkey = "OUTPUTWAVE";

struct WriterHandOff {
  std::string outputPath;  // empty when the program handed over nothing
  std::string outputWave;  // "" when absent
};

// Reads the hand-off. Returns ERROR_SUCCESS with a non-empty output path, or
// ERROR_FILE_NOT_FOUND when the key, the subkey or the path is missing or
// empty, or another registry error code.
LONG ReadWriterHandOff(WriterHandOff *out);

}  // namespace quavix::writer
