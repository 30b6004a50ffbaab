# Read by cpack before it makes the package: the date configured in packaging/CMakeLists.txt (the last
# commit's) becomes SOURCE_DATE_EPOCH, which CPack's DEB generator gives as the time of every member of
# the .deb, of its tar archives and of their gzip headers. Without a configured date (a tree without
# git), the times are the packaging time.
if(CPACK_KESTREL_SOURCE_DATE_EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_KESTREL_SOURCE_DATE_EPOCH}")
endif()
