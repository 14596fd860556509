# Puts the Windows release package together from the 32-bit and the 64-bit build of windows/:
#   cmake -DX86_BUILD=DIR -DX64_BUILD=DIR -DOUTPUT_DIR=DIR -P package.cmake
# writes OUTPUT_DIR/quillet-VERSION-windows.zip with x86/ and x64/ (quillet.dll and its assembly
# manifest, quillet_canvas.dll), quillet.tlb, README.txt, LICENSE.txt, the MinGW-w64 runtime's
# licence and examples/draw.vbs and label.vbs. scripts/windows-package.sh builds both and calls
# this.
cmake_minimum_required(VERSION 3.20)
foreach(variable X86_BUILD X64_BUILD OUTPUT_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "package.cmake needs -D${variable}=...")
  endif()
endforeach()
set(MINGW_RUNTIME_LICENSE /usr/share/doc/mingw-w64-x86-64-dev/copyright CACHE FILEPATH
  "The MinGW-w64 runtime's copyright and licence file")

file(STRINGS ${X64_BUILD}/CMakeCache.txt version_line REGEX "^CMAKE_PROJECT_VERSION:")
string(REGEX REPLACE "^[^=]*=" "" QUILLET_VERSION "${version_line}")
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
# Both DLLs embed their own library; the 32-bit one also serves tools that read a .tlb file.
file(COPY ${X86_BUILD}/generated/quillet.tlb DESTINATION ${stage})

# Text for Windows users, with CR LF line ends.
set(here ${CMAKE_CURRENT_LIST_DIR})
configure_file(${here}/README.txt ${stage}/README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${here}/LICENSE.txt ${stage}/LICENSE.txt COPYONLY)
configure_file(${here}/draw.vbs ${stage}/examples/draw.vbs COPYONLY)
configure_file(${here}/label.vbs ${stage}/examples/label.vbs COPYONLY)
file(READ ${MINGW_RUNTIME_LICENSE} runtime_license)
file(WRITE ${stage}/MINGW-W64-RUNTIME.txt "${runtime_license}")
foreach(text LICENSE.txt examples/draw.vbs examples/label.vbs MINGW-W64-RUNTIME.txt)
  file(READ ${stage}/${text} content)
  string(REPLACE "\r\n" "\n" content "${content}")
  string(REPLACE "\n" "\r\n" content "${content}")
  file(WRITE ${stage}/${text} "${content}")
endforeach()

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
