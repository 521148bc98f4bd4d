// The folder that stands in for the system drive's root ("c:\") as the
// output folder of last resort: the user's home folder, ending with '/'.
#pragma once

#include <string>

// $HOME when it is an absolute path, else the password database's entry,
// else "/"; always with one trailing '/'.
std::string HomeFolderFallback();
