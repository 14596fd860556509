# Puts the Windows release packages together from the 32-bit and the 64-bit build of windows/:
#   cmake -DX86_BUILD=DIR -DX64_BUILD=DIR -DOUTPUT_DIR=DIR [-DINSTALLERS=ON|OFF]
#         [-DQUILLET_VERSION=X.Y.Z] -P package.cmake
# writes OUTPUT_DIR/quillet-VERSION-windows.zip with x86/ and x64/ (quillet.dll and its assembly
# manifest, quillet_canvas.dll), the type libraries, README.txt, LICENSE.txt, the MinGW-w64
# runtime's licence and examples/, and, with wixl (INSTALLERS ON requires it, the default is to
# write them when wixl is there), the installers quillet-VERSION-x64.msi (all users) and
# quillet-VERSION-x64-user.msi (the current user). The DLLs and the installers are signed by
# sign.sh when the environment names a certificate. QUILLET_VERSION overrides the build's
# version (a test writes an "older" installer with it). scripts/windows-package.sh builds both
# bitnesses and calls this.
cmake_minimum_required(VERSION 3.20)
foreach(variable X86_BUILD X64_BUILD OUTPUT_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "package.cmake needs -D${variable}=...")
  endif()
endforeach()
set(MINGW_RUNTIME_LICENSE /usr/share/doc/mingw-w64-x86-64-dev/copyright CACHE FILEPATH
  "The MinGW-w64 runtime's copyright and licence file")

if(NOT QUILLET_VERSION)
  file(STRINGS ${X64_BUILD}/CMakeCache.txt version_line REGEX "^CMAKE_PROJECT_VERSION:")
  string(REGEX REPLACE "^[^=]*=" "" QUILLET_VERSION "${version_line}")
endif()
if(NOT QUILLET_VERSION)
  message(FATAL_ERROR "no project version in ${X64_BUILD}/CMakeCache.txt")
endif()
set(QUILLET_ASSEMBLY_VERSION ${QUILLET_VERSION}.0)
set(name quillet-${QUILLET_VERSION}-windows)
set(stage ${OUTPUT_DIR}/${name})
file(REMOVE_RECURSE ${stage})

foreach(pair "x86;${X86_BUILD}" "x64;${X64_BUILD}")
  list(GET pair 0 folder)
  list(GET pair 1 build)
  foreach(file quillet.dll Quillet.Control.manifest canvas/quillet_canvas.dll)
    if(NOT EXISTS ${build}/${file})
      message(FATAL_ERROR "${build}/${file} is missing: build both bitnesses first")
    endif()
    file(COPY ${build}/${file} DESTINATION ${stage}/${folder})
  endforeach()
endforeach()
# Both DLLs embed their own library; the 32-bit ones also serve tools that read a .tlb file.
file(COPY ${X86_BUILD}/generated/quillet.tlb DESTINATION ${stage})
configure_file(${X86_BUILD}/canvas/generated/canvas.tlb ${stage}/quillet_canvas.tlb COPYONLY)

# Text for Windows users, with CR LF line ends.
set(here ${CMAKE_CURRENT_LIST_DIR})
configure_file(${here}/README.txt ${stage}/README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${here}/LICENSE.txt ${stage}/LICENSE.txt COPYONLY)
file(GLOB examples RELATIVE ${here} ${here}/examples/*)
foreach(example ${examples})
  configure_file(${here}/${example} ${stage}/${example} COPYONLY)
endforeach()
file(READ ${MINGW_RUNTIME_LICENSE} runtime_license)
file(WRITE ${stage}/MINGW-W64-RUNTIME.txt "${runtime_license}")
foreach(text LICENSE.txt ${examples} MINGW-W64-RUNTIME.txt)
  file(READ ${stage}/${text} content)
  string(REPLACE "\r\n" "\n" content "${content}")
  string(REPLACE "\n" "\r\n" content "${content}")
  file(WRITE ${stage}/${text} "${content}")
endforeach()

function(sign)
  execute_process(COMMAND bash ${here}/sign.sh ${ARGN} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "signing failed")
  endif()
endfunction()
sign(${stage}/x86/quillet.dll ${stage}/x86/quillet_canvas.dll ${stage}/x64/quillet.dll
  ${stage}/x64/quillet_canvas.dll)

find_program(WIXL wixl)
if(NOT DEFINED INSTALLERS)
  set(INSTALLERS ${WIXL})
endif()
if(INSTALLERS)
  if(NOT WIXL)
    message(FATAL_ERROR "the installers need wixl (Debian: wixl; bash scripts/install-deps.sh com)")
  endif()
  include(${here}/installer.cmake)
  foreach(scope machine user)
    set(installer ${OUTPUT_DIR}/quillet-${QUILLET_VERSION}-x64.msi)
    if(scope STREQUAL "user")
      set(installer ${OUTPUT_DIR}/quillet-${QUILLET_VERSION}-x64-user.msi)
    endif()
    quillet_write_installer(${scope} ${stage} ${installer})
    sign(${installer})
    message(STATUS "${installer}")
  endforeach()
else()
  message(STATUS "no wixl: no installers")
endif()

file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${stage} ${stage}/*)
list(SORT files)
file(REMOVE ${OUTPUT_DIR}/${name}.zip)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUTPUT_DIR}/${name}.zip --format=zip
    ${files}
  WORKING_DIRECTORY ${stage} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "could not write ${OUTPUT_DIR}/${name}.zip")
endif()
message(STATUS "${OUTPUT_DIR}/${name}.zip")
