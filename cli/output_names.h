// Where each song of a batch is written: the window's naming rule (the
// song's name, its extension replaced) in the output folder, a numbered
// name for a song whose name an earlier song of the batch already took, and
// the temporary name a file is written under until it is complete.
#pragma once

#include <string>
#include <vector>

#include "cli/options.h"

struct PlannedOutput {
  std::string input;
  std::string output;     // "" when no name could be formed (see error)
  bool numbered = false;  // a numbered name, because an earlier song took the plain one
  std::string taken;      // the plain name, when numbered
  std::string error;      // why no name could be formed
};

// True when `output` (as given with -o) names a folder: an existing folder,
// or a name that ends with '/'.
bool OutputIsFolder(const std::string &output);

// The output of every song, in order. `folder` ends with '/' (or is "" for
// the current folder); `singleFile` is the file named with -o for a batch of
// one song, "" otherwise.
std::vector<PlannedOutput> PlanOutputs(const std::vector<std::string> &songs,
                                       const std::string &folder, const std::string &singleFile,
                                       OutputFormat format);

// "a.wma" -> "a (2).wma"; the number goes before the extension.
std::string NumberedName(const std::string &path, int number);

// A name beside `output`, hidden and unique to this process and call
// ("dir/.a.wma.1234-7.part"), that is renamed to `output` once complete.
std::string TemporaryNameFor(const std::string &output);
