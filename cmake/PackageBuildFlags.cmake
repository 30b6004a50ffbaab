# The flags a Debian package's programs are built with, for every build of the tree (scripts/test,
# scripts/package and a plain cmake build alike), so that what is tested is what is shipped:
#  - hardening: what `dpkg-buildflags` gives with DEB_BUILD_MAINT_OPTIONS=hardening=+all (fortified libc
#    calls, stack protector, format checks, full RELRO and immediate binding; PIE is the compiler's
#    default on Debian), plus stack clash protection and control-flow protection (CET on x86, branch
#    protection on arm64), which dpkg-buildflags adds only from Debian 13 on;
#  - reproducibility: the source and build directories are mapped to "." in debug information and
#    __FILE__, so that two builds of one tree in different folders give the same bytes.
# The optimisation and debug levels stay the build type's. Values passed in DEB_CXXFLAGS_APPEND and the
# like reach the build through dpkg-buildflags, as in a Debian package build.

option(KESTREL_HARDENING "Build with the hardening flags of dpkg-buildflags (hardening=+all)" ON)

include(CheckCXXCompilerFlag)

if(KESTREL_HARDENING)
  find_program(KESTREL_DPKG_BUILDFLAGS dpkg-buildflags)
  mark_as_advanced(KESTREL_DPKG_BUILDFLAGS)
  if(KESTREL_DPKG_BUILDFLAGS)
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
      execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${KESTREL_DPKG_BUILDFLAGS} --get ${kind}
        OUTPUT_VARIABLE _flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
      separate_arguments(_flags UNIX_COMMAND "${_flags}")
      set(_kestrel_${kind} ${_flags})
    endforeach()
  else()
    # The same as dpkg-buildflags on Debian 12, for machines without it.
    set(_kestrel_CPPFLAGS -D_FORTIFY_SOURCE=2)
    set(_kestrel_CXXFLAGS -fstack-protector-strong -Wformat -Werror=format-security)
    set(_kestrel_LDFLAGS -Wl,-z,relro -Wl,-z,now)
  endif()
  # why: the optimisation and debug levels are the build type's, and dpkg-buildflags maps the directory
  # it runs in, which is not the source or build directory; both are mapped below.
  list(FILTER _kestrel_CXXFLAGS EXCLUDE REGEX "^(-g.*|-O.*|-f(file|debug|macro)-prefix-map=.*)$")

  set(_extra -fstack-clash-protection)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i.86)$")
    list(APPEND _extra -fcf-protection)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
    list(APPEND _extra -mbranch-protection=standard)
  endif()
  foreach(flag ${_extra})
    string(MAKE_C_IDENTIFIER "KESTREL_HAS${flag}" _has)
    check_cxx_compiler_flag(${flag} ${_has})
    if(${_has})
      list(APPEND _kestrel_CXXFLAGS ${flag})
    endif()
  endforeach()

  # why: _FORTIFY_SOURCE needs optimisation (glibc warns without it, which -Werror turns into an error),
  # and the sanitizers check every access more closely than the fortified calls, whose checking
  # wrappers would hide those calls from them.
  set(_fortify ${_kestrel_CPPFLAGS})
  list(FILTER _fortify INCLUDE REGEX "^-D_FORTIFY_SOURCE=")
  list(FILTER _kestrel_CPPFLAGS EXCLUDE REGEX "^-D_FORTIFY_SOURCE")
  if(_fortify AND NOT KESTREL_SANITIZE AND NOT KESTREL_FUZZ)
    string(REPLACE "-D" "" _fortify "${_fortify}")
    add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:${_fortify}>)
  endif()
  add_compile_options(${_kestrel_CPPFLAGS} ${_kestrel_CXXFLAGS})
  add_link_options(${_kestrel_LDFLAGS})
endif()

# The build directory last: the compiler applies the last matching map first, so that a build directory
# inside the source tree maps to "." too rather than to "./build".
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=.)
# why: moc's generated files otherwise include their header by a path relative to the build directory
# (../../src/...), which differs with where the build directory lies.
set(CMAKE_AUTOMOC_PATH_PREFIX ON)
# why: rcc's default format records the modification time of each resource file, which is when the tree
# was checked out; format 1 records none, and the launcher reads no resource's time.
set(CMAKE_AUTORCC_OPTIONS --format-version 1)
