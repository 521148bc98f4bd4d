# The layers as the build enforces them. Every library names the folder it
# owns (quavix_owns); its sources may include headers of that folder and of
# the folders owned by the libraries it links, directly or through them.
# Where several libraries share a folder, the one marked HEADERS (the one
# that links the most) answers for the folder's headers.
# Anything else (the platform reaching up into the program, a folder using
# one it does not link) fails the build of that library with the offending
# line. The include spelling stays relative to the source root.

function(quavix_owns target folder)
  set_property(TARGET ${target} PROPERTY QUAVIX_FOLDER ${folder})
  set_property(TARGET ${target} PROPERTY QUAVIX_CHECKS_HEADERS "")
  if("HEADERS" IN_LIST ARGN)
    set_property(TARGET ${target} PROPERTY QUAVIX_CHECKS_HEADERS TRUE)
  endif()
  set_property(GLOBAL APPEND PROPERTY QUAVIX_LAYERED_TARGETS ${target})
endfunction()

# The libraries `target` links, directly or through others.
function(quavix_linked_closure target out)
  set(seen "")
  set(todo ${target})
  while(todo)
    list(POP_FRONT todo t)
    if(NOT TARGET ${t} OR t IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${t})
    get_target_property(type ${t} TYPE)
    set(links "")
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(direct ${t} LINK_LIBRARIES)
      if(direct)
        list(APPEND links ${direct})
      endif()
    endif()
    get_target_property(iface ${t} INTERFACE_LINK_LIBRARIES)
    if(iface)
      list(APPEND links ${iface})
    endif()
    foreach(l ${links})
      # Link-only generator expressions ($<LINK_ONLY:x>) name a target too.
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" l "${l}")
      if(TARGET ${l})
        list(APPEND todo ${l})
      endif()
    endforeach()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# Called once every library is defined: a check per layered library that
# runs before it compiles.
function(quavix_enforce_layers)
  get_property(targets GLOBAL PROPERTY QUAVIX_LAYERED_TARGETS)
  foreach(t ${targets})
    get_target_property(folder ${t} QUAVIX_FOLDER)
    quavix_linked_closure(${t} closure)
    set(allowed "")
    foreach(l ${closure})
      get_target_property(f ${l} QUAVIX_FOLDER)
      if(f)
        list(APPEND allowed ${f})
      endif()
    endforeach()
    list(REMOVE_DUPLICATES allowed)
    get_target_property(sources ${t} SOURCES)
    get_target_property(source_dir ${t} SOURCE_DIR)
    set(files "")
    get_target_property(checks_headers ${t} QUAVIX_CHECKS_HEADERS)
    if(checks_headers)
      file(GLOB files ${CMAKE_SOURCE_DIR}/${folder}/*.h)
    endif()
    foreach(s ${sources})
      if(s MATCHES "\\.(cpp|h)$")
        if(NOT IS_ABSOLUTE ${s})
          set(s ${source_dir}/${s})
        endif()
        if(EXISTS ${s})
          list(APPEND files ${s})
        endif()
      endif()
    endforeach()
    list(REMOVE_DUPLICATES files)
    set(stamp ${CMAKE_BINARY_DIR}/layers/${t}.checked)
    string(REPLACE ";" "|" files_arg "${files}")
    string(REPLACE ";" "|" allowed_arg "${allowed}")
    add_custom_command(
      OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} "-DTARGET=${t}" "-DROOT=${CMAKE_SOURCE_DIR}" "-DFILES=${files_arg}"
              "-DALLOWED=${allowed_arg}" "-DSTAMP=${stamp}"
              -P ${CMAKE_SOURCE_DIR}/cmake/check_includes.cmake
      DEPENDS ${files} ${CMAKE_SOURCE_DIR}/cmake/check_includes.cmake
      COMMENT "Checking the includes of ${t} against its layer"
      VERBATIM)
    add_custom_target(${t}_layer_check DEPENDS ${stamp})
    add_dependencies(${t} ${t}_layer_check)
  endforeach()
endfunction()
