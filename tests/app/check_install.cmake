# Installs the build into a throw-away prefix and checks what the desktop
# needs: the program, its desktop entry and its icon at every size, and the
# manual page.
# Called with -DBUILD=<build folder> -DPREFIX=<empty folder>.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed: ${rc}")
endif()

if(NOT EXISTS ${PREFIX}/bin/vorlinta)
  message(FATAL_ERROR "bin/vorlinta is missing")
endif()

set(entry ${PREFIX}/share/applications/quavix.desktop)
if(NOT EXISTS ${entry})
  message(FATAL_ERROR "the desktop entry is missing")
endif()
file(STRINGS ${entry} lines)
foreach(want "[Desktop Entry]" "Type=Application" "Name=Quavix" "Exec=vorlinta %f" "Icon=quavix"
        "Categories=AudioVideo;Audio;" "MimeType=audio/midi;audio/x-midi;audio/x-rmid;")
  list(FIND lines "${want}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the desktop entry lacks the line: ${want}")
  endif()
endforeach()

set(manual ${PREFIX}/share/man/man1/vorlinta.1)
if(NOT EXISTS ${manual})
  message(FATAL_ERROR "the manual page share/man/man1/vorlinta.1 is missing")
endif()
file(STRINGS ${manual} manual_lines REGEX "^\\.TH VORLINTA 1")
if(NOT manual_lines)
  message(FATAL_ERROR "the manual page has no .TH VORLINTA 1 header")
endif()

foreach(size 16 32 48 64 128 256)
  set(png ${PREFIX}/share/icons/hicolor/${size}x${size}/apps/quavix.png)
  if(NOT EXISTS ${png})
    message(FATAL_ERROR "icon ${size}x${size} is missing")
  endif()
  # The PNG header's width and height (bytes 16 to 23) must match the folder.
  file(READ ${png} header OFFSET 16 LIMIT 8 HEX)
  math(EXPR want_hex "${size}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${want_hex}" 2 -1 digits)
  string(LENGTH "${digits}" n)
  math(EXPR pad "8 - ${n}")
  string(REPEAT "0" ${pad} zeros)
  string(TOLOWER "${zeros}${digits}" one)
  if(NOT header STREQUAL "${one}${one}")
    message(FATAL_ERROR "icon ${size}x${size} holds a picture of another size (${header})")
  endif()
endforeach()
message(STATUS "install layout ok")
