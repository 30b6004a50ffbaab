# The core must build and be tested without Qt. Two guards keep it so:
# 1. nothing it links may be a Qt target;
# 2. no source file of the core layers may include a Qt header.
get_target_property(_core_links kestrel_core LINK_LIBRARIES)
foreach(_lib IN LISTS _core_links)
  if(_lib MATCHES "Qt")
    message(FATAL_ERROR "kestrel_core must not link Qt, but links ${_lib}")
  endif()
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/ForbiddenIncludes.cmake)

# A check, not a source list: every file of the core folders is read.
file(GLOB_RECURSE _core_files
  ${CMAKE_CURRENT_SOURCE_DIR}/src/text/*
  ${CMAKE_CURRENT_SOURCE_DIR}/src/catalog/*
  ${CMAKE_CURRENT_SOURCE_DIR}/src/calculator/*
  ${CMAKE_CURRENT_SOURCE_DIR}/src/app/*
  ${CMAKE_CURRENT_SOURCE_DIR}/tools/*
  # the entry's own part of main/, which a second start runs
  ${CMAKE_CURRENT_SOURCE_DIR}/src/main/InstanceClaim.*
  ${CMAKE_CURRENT_SOURCE_DIR}/src/main/ToggleMessage.*
  ${CMAKE_CURRENT_SOURCE_DIR}/src/main/EntryProgram.*
  ${CMAKE_CURRENT_SOURCE_DIR}/src/main/kestrelpoint.cpp)
kestrel_forbid_includes(REGEX "(Q[A-Za-z]|qt)" REASON "is part of the Qt-free core but includes Qt"
  FILES ${_core_files})
