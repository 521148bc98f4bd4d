// vorlinta: the program's entry. The framework creates the window system's
// application, finds the application object and runs its InitInstance.
#include "app/converter_app.h"

int main(int argc, char **argv) {
  // Naming the application object keeps it in the program: it lives in a
  // static library, and the framework only finds it through its registration.
  if (ConverterApp() == nullptr) return 1;
  return AfxWinMain(argc, argv);
}
