# Writes THIRD-PARTY-NOTICES.txt: the licence texts of what is linked into
# zandrel.exe besides its own code, word for word from their sources.
#   cmake -DJPEG_SOURCE=<libjpeg-turbo source> -DOUT=<file> -DVERSION=<Zandrel's>
#         [-DMINGW_FILES=<the toolchain's licence files, joined by |>] -P notices.cmake
include(${CMAKE_CURRENT_LIST_DIR}/licence_texts.cmake)
read_licence_texts("${JPEG_SOURCE}" "${MINGW_FILES}")

set(rule "------------------------------------------------------------------------------")
set(notices "Third-party notices for Zandrel ${VERSION}
${rule}

zandrel.exe is one file: besides Zandrel's own code (LICENSE.txt) it holds
libjpeg-turbo ${jpeg_version}, which decodes the picture in its About box, and
parts of the mingw-w64 runtime its compiler links into every program (start-up
code, C runtime helpers and the winpthreads library). The compiler's own
support libraries (libgcc, libstdc++) come under the GCC Runtime Library
Exception, which asks for no notice.

This software is based in part on the work of the Independent JPEG Group.

The licence texts follow, exactly as libjpeg-turbo's source and
${mingw_from} give them. The SIMD extensions
of libjpeg-turbo, which the zlib licence covers, are not built into
zandrel.exe; that licence is given all the same.


1. libjpeg-turbo: its licences, with the Modified (3-clause) BSD License (LICENSE.md)
${rule}

${jpeg_license_md}


2. libjpeg-turbo: the IJG License (README.ijg, its section LEGAL ISSUES)
${rule}

${jpeg_ijg}


3. libjpeg-turbo: the zlib License (as its SIMD sources carry it)
${rule}

${jpeg_zlib}


4. The mingw-w64 runtime
${rule}

${mingw_runtime}

${mingw_gdtoa}

${mingw_winpthreads}
")
# Windows line ends, and a byte-order mark so any Notepad reads the UTF-8 names.
string(REPLACE "\n" "\r\n" notices "${notices}")
string(ASCII 239 187 191 bom)
file(WRITE "${OUT}" "${bom}${notices}")
