# The views sit below the window and the platform services: desktop/ builds the window around the views
# and may include ui/, but nothing in ui/ may include a desktop/ header, so the two never form a cycle.
file(GLOB_RECURSE _ui_files ${CMAKE_CURRENT_SOURCE_DIR}/src/ui/*.h ${CMAKE_CURRENT_SOURCE_DIR}/src/ui/*.cpp)
foreach(_file IN LISTS _ui_files)
  file(STRINGS ${_file} _desktop_includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]desktop/")
  if(_desktop_includes)
    message(FATAL_ERROR "${_file} is a view but includes the desktop layer: ${_desktop_includes}")
  endif()
endforeach()
