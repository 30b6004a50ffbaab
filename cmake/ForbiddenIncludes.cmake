# kestrel_forbid_includes(REGEX <include pattern> REASON <text> FILES <file>...): stops configuration at
# the first file with an #include line whose target matches <include pattern>, naming the file, the
# offending lines and why they are not allowed there ("<file> <reason>: <lines>").
function(kestrel_forbid_includes)
  cmake_parse_arguments(PARSE_ARGV 0 _arg "" "REGEX;REASON" "FILES")
  foreach(_file IN LISTS _arg_FILES)
    file(STRINGS ${_file} _found REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]${_arg_REGEX}")
    if(_found)
      message(FATAL_ERROR "${_file} ${_arg_REASON}: ${_found}")
    endif()
  endforeach()
endfunction()
