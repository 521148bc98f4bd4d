// Reads or writes "nSoundCaptureIndex" in the profile of whatever name this
// executable runs under, and prints "<application name> <value>".
#include "settings/app_name.h"
#include "settings/profile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char **argv) {
  const std::string app = AppNameOfThisProcess();
  if (argc >= 3 && std::strcmp(argv[1], "set") == 0) {
    if (!ProfileSetInt(kProfileMakerKey, app.c_str(), "Option", "nSoundCaptureIndex",
                       std::atoi(argv[2])))
      return 1;
  }
  std::printf("%s %d\n", app.c_str(),
              ProfileGetInt(kProfileMakerKey, app.c_str(), "Option", "nSoundCaptureIndex", 0));
  return 0;
}
