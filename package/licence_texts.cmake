# The licence texts that go with zandrel.exe: libjpeg-turbo's read word for word
# from the source the library was built from; the mingw-w64 runtime's kept in
# package/mingw-w64 (for the runtime version named in its VERSION file, which the
# program's build checks against the headers it compiles with), so any builder
# has them. Shared by notices.cmake (which writes them), check_zip.cmake (which
# finds them whole in the zip) and check_mingw_texts.cmake (which compares the kept
# texts with Debian's copyright record where there is one). A missing piece stops
# the build rather than ship a notice cut short.

set(ZANDREL_KEPT_TEXTS ${CMAKE_CURRENT_LIST_DIR}/mingw-w64)

# The text from `first` up to (not including) `last`, stripped.
function(text_between file first last result)
  file(READ "${file}" text)
  string(FIND "${text}" "${first}" from)
  if(from EQUAL -1)
    message(FATAL_ERROR "'${first}' not found in ${file}")
  endif()
  string(SUBSTRING "${text}" ${from} -1 text)
  string(FIND "${text}" "${last}" to)
  if(to EQUAL -1)
    message(FATAL_ERROR "'${last}' not found in ${file}")
  endif()
  string(SUBSTRING "${text}" 0 ${to} text)
  string(STRIP "${text}" text)
  set(${result} "${text}" PARENT_SCOPE)
endfunction()

# A paragraph of a machine-readable Debian copyright file as plain text: the
# continuation lines lose their leading space, and " ." lines become empty.
function(from_debian_format text result)
  string(REGEX REPLACE "\n \\.(\n|$)" "\n\n" text "${text}")
  string(REGEX REPLACE "\n \\.(\n|$)" "\n\n" text "${text}")
  string(REGEX REPLACE "\n " "\n" text "${text}")
  set(${result} "${text}" PARENT_SCOPE)
endfunction()

# Sets, in the caller: jpeg_version, jpeg_license_md, jpeg_ijg, jpeg_zlib,
# mingw_runtime, mingw_gdtoa, mingw_winpthreads, mingw_from. The mingw-w64 texts are
# the kept ones, or, when `mingw_files` (paths joined by "|") names the licence files
# the builder's toolchain installs, those files whole, one after the other.
macro(read_licence_texts jpeg_source mingw_files)
  foreach(needed "${jpeg_source}/LICENSE.md" "${jpeg_source}/README.ijg" "${jpeg_source}/CMakeLists.txt"
                 "${jpeg_source}/simd/nasm/jsimdext.inc")
    if(NOT EXISTS "${needed}")
      message(FATAL_ERROR "libjpeg-turbo's source is needed for its licence texts (${needed} is missing); "
                          "give its folder with -DZANDREL_JPEG_SOURCE_DIR=...")
    endif()
  endforeach()
  if("${mingw_files}" STREQUAL "")
    foreach(part runtime gdtoa winpthreads)
      file(READ "${ZANDREL_KEPT_TEXTS}/${part}.txt" mingw_${part})
      string(STRIP "${mingw_${part}}" mingw_${part})
    endforeach()
    file(STRINGS "${ZANDREL_KEPT_TEXTS}/VERSION" mingw_major)
    set(mingw_from "the copyright record of the mingw-w64 runtime ${mingw_major}")
  else()
    string(REPLACE "|" ";" mingw_file_list "${mingw_files}")
    set(mingw_runtime "")
    foreach(licence_file ${mingw_file_list})
      if(NOT EXISTS "${licence_file}")
        message(FATAL_ERROR "The toolchain's licence file '${licence_file}' is missing")
      endif()
      file(READ "${licence_file}" licence_text)
      string(STRIP "${licence_text}" licence_text)
      get_filename_component(licence_folder "${licence_file}" DIRECTORY)
      get_filename_component(licence_folder "${licence_folder}" NAME)
      get_filename_component(licence_name "${licence_file}" NAME)
      string(APPEND mingw_runtime "(${licence_folder}/${licence_name})\n\n${licence_text}\n\n")
    endforeach()
    string(STRIP "${mingw_runtime}" mingw_runtime)
    set(mingw_gdtoa "")
    set(mingw_winpthreads "")
    set(mingw_from "the licence files of the toolchain the build used")
  endif()

  file(STRINGS "${jpeg_source}/CMakeLists.txt" jpeg_version_line REGEX "^set\\(VERSION ")
  string(REGEX REPLACE "^set\\(VERSION ([^)]+)\\).*" "\\1" jpeg_version "${jpeg_version_line}")

  file(READ "${jpeg_source}/LICENSE.md" jpeg_license_md)
  string(STRIP "${jpeg_license_md}" jpeg_license_md)
  text_between("${jpeg_source}/README.ijg" "LEGAL ISSUES\n============" "\nREFERENCES\n==========" jpeg_ijg)
  # The zlib licence as the SIMD sources carry it, with their copyright lines,
  # without the assembler's comment marks.
  set(zlib_last "; 3. This notice may not be removed or altered from any source distribution.")
  text_between("${jpeg_source}/simd/nasm/jsimdext.inc" "; Copyright" "${zlib_last}" jpeg_zlib)
  string(APPEND jpeg_zlib "\n${zlib_last}")
  string(REPLACE "\n;\n" "\n\n" jpeg_zlib "${jpeg_zlib}")
  string(REPLACE "\n;\n" "\n\n" jpeg_zlib "${jpeg_zlib}")
  string(REGEX REPLACE "(^|\n); " "\\1" jpeg_zlib "${jpeg_zlib}")
endmacro()

# The same three texts as Debian's copyright record of the mingw-w64 package gives
# them; sets debian_runtime, debian_gdtoa, debian_winpthreads in the caller.
macro(read_debian_mingw_record mingw_copyright)
  text_between("${mingw_copyright}" "Files: *\n" "\n\nFiles: mingw-w64-crt/crt/*" debian_runtime)
  from_debian_format("${debian_runtime}" debian_runtime)
  text_between("${mingw_copyright}" "Files: mingw-w64-crt/gdtoa/*\n" "\n\nFiles: mingw-w64-crt/gdtoa/qnan.c"
               debian_gdtoa)
  from_debian_format("${debian_gdtoa}" debian_gdtoa)
  text_between("${mingw_copyright}" "Files: mingw-w64-libraries/winpthreads/*\n"
               "\n\nFiles: mingw-w64-libraries/winpthreads/include/pthread.h" winpthreads_files)
  text_between("${mingw_copyright}" "License: expat\n Permission is hereby granted"
               "\n\nLicense: BSD-2-clause-NetBSD" expat)
  from_debian_format("${winpthreads_files}\n${expat}" debian_winpthreads)
  string(REGEX REPLACE "\nLicense: expat\nLicense: expat\n" "\nLicense: expat\n" debian_winpthreads
         "${debian_winpthreads}")
endmacro()
