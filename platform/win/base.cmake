# The non-graphical stand-ins of quavix_winbase: last error, text conversion
# and formatting, debugger output, system information and modules, the shell
# (music folder, starting programs, opening files) and file deletion.
target_sources(quavix_winbase PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/lasterror.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/debug.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shell.cpp
  ${CMAKE_CURRENT_LIST_DIR}/files.cpp)
target_link_libraries(quavix_winbase PUBLIC ${CMAKE_DL_LIBS})
