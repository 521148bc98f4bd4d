// The hint dialog lives beside the main window in ui/, whose library lists
// its sources by name; it is built here, with the code that opens it.
#include "ui/input_hint_dlg.cpp"
