# The views sit below the window and the platform services: desktop/ builds the window around the views
# and may include ui/, but nothing in ui/ may include a desktop/ header, so the two never form a cycle.
include(${CMAKE_CURRENT_LIST_DIR}/ForbiddenIncludes.cmake)
file(GLOB_RECURSE _ui_files ${CMAKE_CURRENT_SOURCE_DIR}/src/ui/*.h ${CMAKE_CURRENT_SOURCE_DIR}/src/ui/*.cpp)
kestrel_forbid_includes(REGEX "desktop/" REASON "is a view but includes the desktop layer"
  FILES ${_ui_files})
