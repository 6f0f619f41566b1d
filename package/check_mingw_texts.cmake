# The mingw-w64 runtime's licence texts kept in package/mingw-w64 are, word for word,
# those of Debian's copyright record of the runtime package the build compiles with
# (whose version the program's build checks against the kept VERSION). Run where
# the record exists.
#   cmake -DMINGW_COPYRIGHT=<Debian's copyright record> -P check_mingw_texts.cmake
include(${CMAKE_CURRENT_LIST_DIR}/licence_texts.cmake)
read_debian_mingw_record("${MINGW_COPYRIGHT}")
set(failures "")
foreach(part runtime gdtoa winpthreads)
  file(READ "${ZANDREL_KEPT_TEXTS}/${part}.txt" kept)
  string(STRIP "${kept}" kept)
  if(NOT kept STREQUAL debian_${part})
    string(APPEND failures "\n  mingw-w64/${part}.txt differs from ${MINGW_COPYRIGHT}")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "The mingw-w64 notices are out of date:${failures}\n"
                      "Take the texts again from the record (see package/mingw-w64/README.md).")
endif()
