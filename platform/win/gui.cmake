# quavix_win: windows, messages, dialogs, controls, menus, message boxes and
# file dialogs on Qt 6 Widgets. The program's code sees only the Windows
# names of platform/win/*.h; Qt stays inside this library. Icons, dialog and
# menu templates come from quavix_res, so a build that has this library has
# "res" in its parts.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
add_library(quavix_win STATIC
  controls.cpp
  dialogs.cpp
  file_dialog.cpp
  gdi.cpp
  icon.cpp
  menu.cpp
  message_box.cpp
  messages.cpp
  timers.cpp
  toplevel.cpp
  ui_seam.cpp
  video_surface.cpp
  window.cpp)
target_link_libraries(quavix_win PUBLIC quavix_winbase quavix_res PRIVATE Qt6::Widgets)
