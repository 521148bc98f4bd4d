#include "cli/output_names.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <set>

#include "settings/paths.h"

namespace {

std::string WithExtension(const std::string &wmaPath, OutputFormat format) {
  // The naming rule gives "<name>.wma"; other formats swap the extension.
  return wmaPath.substr(0, wmaPath.size() - 3) + FormatName(format);
}

}  // namespace

bool OutputIsFolder(const std::string &output) {
  if (output.empty() || output.back() == '/') return true;
  struct stat st {};
  return stat(output.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string NumberedName(const std::string &path, int number) {
  const auto slash = path.rfind('/');
  auto dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
      dot == (slash == std::string::npos ? 0 : slash + 1))
    dot = path.size();
  return path.substr(0, dot) + " (" + std::to_string(number) + ")" + path.substr(dot);
}

std::vector<PlannedOutput> PlanOutputs(const std::vector<std::string> &songs,
                                       const std::string &folder, const std::string &singleFile,
                                       OutputFormat format) {
  std::vector<PlannedOutput> plan;
  std::set<std::string> taken;
  for (const std::string &song : songs) {
    PlannedOutput p;
    p.input = song;
    std::string name;
    if (!singleFile.empty()) {
      name = singleFile;
    } else if (std::string proposed; ProposeOutputPath(folder, song.c_str(), &proposed)) {
      name = WithExtension(proposed, format);
    } else {
      p.error = "no output name can be formed from the song's name (too long)";
      plan.push_back(p);
      continue;
    }
    p.output = name;
    for (int n = 2; taken.count(p.output); ++n) {
      p.output = NumberedName(name, n);
      p.numbered = true;
      p.taken = name;
    }
    taken.insert(p.output);
    plan.push_back(p);
  }
  return plan;
}

std::string TemporaryNameFor(const std::string &output) {
  static std::atomic<int> counter{0};
  const auto slash = output.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : output.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? output : output.substr(slash + 1);
  return dir + "." + name + "." + std::to_string(getpid()) + "-" + std::to_string(++counter) +
         ".part";
}
