# Unpacks the zip into a fresh folder and checks that it holds what a user needs:
# exactly the expected files, none empty, a program for the right processor, and
# the licence and notices texts a binary distribution must carry.
#   cmake -DZIP=... -DDEST=... -DFILES="a;b" -DMACHINE=6486|4c01 -DVERSION=1.0.0 -DLICENSE=...
#         -DJPEG_SOURCE=... [-DMINGW_FILES=a|b] -P check_zip.cmake
set(failures "")

if(NOT EXISTS "${ZIP}")
  message(FATAL_ERROR "${ZIP} is missing (it is packed by every build)")
endif()
file(REMOVE_RECURSE "${DEST}")
file(MAKE_DIRECTORY "${DEST}")
file(ARCHIVE_EXTRACT INPUT "${ZIP}" DESTINATION "${DEST}")

file(GLOB_RECURSE found RELATIVE "${DEST}" "${DEST}/*")
list(SORT found)
set(wanted ${FILES})
list(SORT wanted)
if(NOT found STREQUAL wanted)
  string(APPEND failures "\n  the zip holds [${found}], not [${wanted}]")
endif()
foreach(f ${wanted})
  if(EXISTS "${DEST}/${f}")
    file(SIZE "${DEST}/${f}" size)
    if(size EQUAL 0)
      string(APPEND failures "\n  ${f} is empty")
    endif()
  endif()
endforeach()

# The PE header's machine field: the zip for one processor holds its program.
set(exe "${DEST}/zandrel.exe")
if(EXISTS "${exe}")
  file(READ "${exe}" pe_at_hex OFFSET 60 LIMIT 4 HEX)
  string(REGEX REPLACE "^(..)(..)(..)(..)$" "\\4\\3\\2\\1" pe_at_hex "${pe_at_hex}")
  math(EXPR pe_at "0x${pe_at_hex} + 4")
  file(READ "${exe}" machine OFFSET ${pe_at} LIMIT 2 HEX)
  if(NOT machine STREQUAL MACHINE)
    string(APPEND failures "\n  zandrel.exe is built for machine ${machine}, not ${MACHINE}")
  endif()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/licence_texts.cmake)
read_licence_texts("${JPEG_SOURCE}" "${MINGW_FILES}")

# A text file of the zip as the build wrote it, with Unix line ends and no byte-order mark.
function(read_unpacked file result)
  set(text "")
  if(EXISTS "${DEST}/${file}")
    file(READ "${DEST}/${file}" text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(ASCII 239 187 191 bom)
    string(REGEX REPLACE "^${bom}" "" text "${text}")
  endif()
  set(${result} "${text}" PARENT_SCOPE)
endfunction()

function(expect_text file what phrase)
  read_unpacked(${file} text)
  string(FIND "${text}" "${phrase}" at)
  if(at EQUAL -1)
    set(failures "${failures}\n  ${file} lacks ${what}" PARENT_SCOPE)
  endif()
endfunction()

# The licence is the project's own, whole.
read_unpacked(LICENSE.txt shipped_license)
file(READ "${LICENSE}" license)
if(NOT shipped_license STREQUAL license)
  string(APPEND failures "\n  LICENSE.txt is not the project's LICENSE")
endif()
# Every licence text whole, as its source gives it.
expect_text(THIRD-PARTY-NOTICES.txt "the IJG statement" "This software is based in part on the work of the Independent JPEG Group.")
expect_text(THIRD-PARTY-NOTICES.txt "libjpeg-turbo's LICENSE.md" "${jpeg_license_md}")
expect_text(THIRD-PARTY-NOTICES.txt "the IJG licence" "${jpeg_ijg}")
expect_text(THIRD-PARTY-NOTICES.txt "the zlib licence" "${jpeg_zlib}")
expect_text(THIRD-PARTY-NOTICES.txt "the mingw-w64 runtime's licence" "${mingw_runtime}")
expect_text(THIRD-PARTY-NOTICES.txt "the gdtoa licence" "${mingw_gdtoa}")
expect_text(THIRD-PARTY-NOTICES.txt "the winpthreads licence" "${mingw_winpthreads}")
expect_text(THIRD-PARTY-NOTICES.txt "Zandrel's version" "Third-party notices for Zandrel ${VERSION}\n")
expect_text(Zandrel.html "the version" "Version ${VERSION}<")
expect_text(Zandrel.html "the IJG statement" "based in part on the work of the Independent JPEG Group")
expect_text(Zandrel.html "a word on the notices" "THIRD-PARTY-NOTICES.txt")
expect_text(Zandrel.html "a word on the licence" "MIT licence")

if(failures)
  message(FATAL_ERROR "${ZIP}:${failures}")
endif()
message(STATUS "${ZIP}: complete, unpacked into ${DEST}")
