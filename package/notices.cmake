# Writes THIRD-PARTY-NOTICES.txt: the licence texts of libjpeg-turbo, which
# zandrel.exe links statically, taken word for word from its source folder.
#   cmake -DSOURCE=<libjpeg-turbo source> -DOUT=<file> -DVERSION=<Zandrel's> -P notices.cmake
if(NOT IS_DIRECTORY "${SOURCE}" OR NOT EXISTS "${SOURCE}/LICENSE.md" OR NOT EXISTS "${SOURCE}/README.ijg")
  message(FATAL_ERROR "libjpeg-turbo's source is needed for its licence texts; give its folder with "
                      "-DZANDREL_JPEG_SOURCE_DIR=... (found: '${SOURCE}')")
endif()

# The text between two lines of a file (the first included, the last not); a
# missing marker stops the build rather than ship a notice cut short.
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

get_filename_component(jpeg_name "${SOURCE}" NAME)
string(REGEX MATCH "[0-9]+\\.[0-9]+(\\.[0-9]+)?" jpeg_version "${jpeg_name}")

file(READ "${SOURCE}/LICENSE.md" license_md)
string(STRIP "${license_md}" license_md)
text_between("${SOURCE}/README.ijg" "LEGAL ISSUES\n============" "\nREFERENCES\n==========" ijg)
# The zlib licence as the SIMD sources carry it, without the assembler's comment marks.
text_between("${SOURCE}/simd/nasm/jsimdext.inc" "; This software is provided 'as-is'"
             "; 3. This notice may not be removed or altered from any source distribution." zlib_commented)
set(zlib_commented "${zlib_commented}\n; 3. This notice may not be removed or altered from any source distribution.")
string(REGEX REPLACE "(^|\n); ?" "\\1" zlib "${zlib_commented}")

set(rule "------------------------------------------------------------------------------")
set(notices "Third-party notices for Zandrel ${VERSION}
${rule}

zandrel.exe contains libjpeg-turbo ${jpeg_version}, linked into it, which decodes
the picture in its About box.

This software is based in part on the work of the Independent JPEG Group.

libjpeg-turbo is covered by the three licences below. Their texts are given
exactly as libjpeg-turbo's source (${jpeg_name}) ships them. The SIMD
extensions, which the zlib licence covers, are not built into zandrel.exe;
that licence is given all the same.


1. libjpeg-turbo's licences, with the Modified (3-clause) BSD License (LICENSE.md)
${rule}

${license_md}


2. The IJG License (README.ijg, its section LEGAL ISSUES)
${rule}

${ijg}


3. The zlib License (as in the SIMD sources, simd/nasm/jsimdext.inc)
${rule}

${zlib}
")
# Windows line ends: the file is read on Windows.
string(REPLACE "\n" "\r\n" notices "${notices}")
file(WRITE "${OUT}" "${notices}")
