// The output path handed to the writer filter through the registry: under
// HKEY_CURRENT_USER\Software\ZORVEKA\VORLINTA, the default value of subkey
// "OutputWMAName" holds the output path and that of subkey "OUTPUTWAVE" the
// text of the wave flag ("0").
#pragma once

#include "platform/win/windef.h"

#include <string>

inline constexpr const char *kWriterHandOffKey = "Software\\ZORVEKA\\VORLINTA";
// The hand-off goes through a buffer of this size: paths must be shorter.
constexpr size_t kWriterHandOffBufferSize = 256;

// Writes both values. Returns FALSE without writing anything when the path is
// null or does not fit the buffer (256 characters or more) rather than handing
// over a cut path, and FALSE when a key or value cannot be written (the
// writes that could be made are kept). GetLastError tells
// ERROR_FILENAME_EXCED_RANGE for a path too long.
BOOL WriteWriterHandOff(LPCSTR outputPath, int outputWave);

// Reads what WriteWriterHandOff wrote. FALSE when there is no output path;
// *outputWave is 0 when its value is missing or not a number. Either pointer
// may be null.
BOOL ReadWriterHandOff(std::string *outputPath, int *outputWave);
