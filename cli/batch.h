// A batch of songs converted offline, several at once, each reported as it
// ends. The exit status of `vorlinta --convert`.
#pragma once

#include "cli/options.h"

// Runs the conversion the options describe and returns the exit status:
// 0 every song converted, 1 some failed, 2 the batch could not start
// (bad output folder, unreadable song list).
int RunConversionBatch(const ConvertOptions &options);
