# Rooms: platform code grouped by technology, each room a target that sees only the rooms it
# links, so that dependencies run one way.
#
#   quill_room(<target> FILES <sources and headers> [LINKS <rooms>] [LIBRARIES <libraries>])
#       A static library of the .cpp files among FILES, linked publicly with the rooms and
#       libraries named, the port headers and common/. Its includes are checked as below.
#
#   quill_check_room_includes(<target> FILES <sources and headers> [LINKS <rooms>])
#       Before anything of <target> is compiled, its FILES are read: an include of a project
#       header other than a port header (platform/*.h), common/, the room's own FILES and the
#       FILES of the rooms in LINKS fails the build. So does any include of the programs'
#       code (recorder/, helper/, tools/, tests/). Rooms in LINKS must be defined first.
set(QUILL_ROOM_CHECK ${CMAKE_CURRENT_LIST_DIR}/check_room_includes.cmake)

function(quill_check_room_includes target)
  cmake_parse_arguments(PARSE_ARGV 1 ROOM "" "" "FILES;LINKS")
  set(own "")
  foreach(file IN LISTS ROOM_FILES)
    cmake_path(ABSOLUTE_PATH file BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE
               OUTPUT_VARIABLE absolute)
    list(APPEND own ${absolute})
  endforeach()
  set_property(TARGET ${target} PROPERTY QUILL_ROOM_FILES ${own})
  set(visible "")
  foreach(room IN LISTS ROOM_LINKS)
    get_property(files TARGET ${room} PROPERTY QUILL_ROOM_FILES)
    if(NOT files)
      message(FATAL_ERROR "${target} links ${room}, which is not a room defined before it")
    endif()
    list(APPEND visible ${files})
  endforeach()
  set(rules ${CMAKE_CURRENT_BINARY_DIR}/${target}.room.cmake)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.room.checked)
  # Written only when it changes, so a configure run alone does not repeat the check.
  file(CONFIGURE OUTPUT ${rules} CONTENT [[
set(ROOM "@target@")
set(ROOM_LINKS "@ROOM_LINKS@")
set(PROJECT_ROOT "@PROJECT_SOURCE_DIR@")
set(OWN_FILES "@own@")
set(VISIBLE_FILES "@visible@")
]] @ONLY)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DRULES=${rules} -DSTAMP=${stamp} -P ${QUILL_ROOM_CHECK}
    DEPENDS ${own} ${rules} ${QUILL_ROOM_CHECK}
    COMMENT "Checking the includes of ${target}"
    VERBATIM)
  # A source of the target: its objects are compiled only after the check has passed.
  target_sources(${target} PRIVATE ${stamp})
endfunction()

function(quill_room target)
  cmake_parse_arguments(PARSE_ARGV 1 ROOM "" "" "FILES;LINKS;LIBRARIES")
  set(sources ${ROOM_FILES})
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  add_library(${target} STATIC ${sources})
  target_link_libraries(${target} PUBLIC quill_ports quill_common Threads::Threads ${ROOM_LINKS}
                        ${ROOM_LIBRARIES})
  quill_check_room_includes(${target} FILES ${ROOM_FILES} LINKS ${ROOM_LINKS})
endfunction()
