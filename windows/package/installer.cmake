# The Windows Installer packages, written as WiX source for wixl (msitools) by package.cmake:
#   quillet_write_installer(SCOPE STAGE OUTPUT)
# SCOPE "machine": Program Files\Quillet for the 64-bit DLLs, the documents and the examples,
# Program Files (x86)\Quillet for the 32-bit DLLs, registry rows below HKLM\Software\Classes.
# SCOPE "user": %LOCALAPPDATA%\Programs\Quillet with x64\ and x86\, rows below
# HKCU\Software\Classes, no administrator rights needed.
# The registry rows are the ones each DLL's own registration writes (registry_rows.txt of each
# build, captured by registry_rows.cpp), so that the installer and regsvr32 cannot drift apart;
# the installer's own tables write them and remove them again, with no self-registration.

# Fixed for the life of the product: a newer package replaces an older one of the same code.
set(QUILLET_UPGRADE_CODE_machine "{88F871C3-40DE-4618-8FE3-2E6EE9BC2973}")
set(QUILLET_UPGRADE_CODE_user "{4FA9465C-72C4-479D-9148-7384FE5611DD}")
# Component and product codes are derived from names in this namespace: the same component keeps
# its code from version to version, and the same version of a package gets the same product code.
set(QUILLET_CODE_NAMESPACE "877E6001-248F-43D2-970E-64578A7128C8")

function(quillet_code out name)
  string(UUID code NAMESPACE ${QUILLET_CODE_NAMESPACE} NAME "${name}" TYPE SHA1 UPPER)
  set(${out} "{${code}}" PARENT_SCOPE)
endfunction()

function(quillet_xml out text)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# One component: its files (the first is the key path) and, for a DLL, its registry rows.
function(quillet_component out scope id win64 rows)
  quillet_code(guid "${scope}/${id}")
  set(xml "<Component Id=\"${id}\" Guid=\"${guid}\" Win64=\"${win64}\">\n")
  set(key_path " KeyPath=\"yes\"")
  foreach(entry ${ARGN})
    string(REPLACE "=" ";" pair "${entry}")
    list(GET pair 0 file_id)
    list(GET pair 1 source)
    get_filename_component(name "${source}" NAME)
    string(APPEND xml "  <File Id=\"${file_id}\" Name=\"${name}\" Source=\"${source}\"${key_path}/>\n")
    set(key_path "")
  endforeach()
  if(rows)
    if(scope STREQUAL "machine")
      set(root HKLM)
    else()
      set(root HKCU)
    endif()
    file(STRINGS ${rows} lines ENCODING UTF-8)
    if(NOT lines)
      message(FATAL_ERROR "${rows} holds no registry rows")
    endif()
    foreach(line IN LISTS lines)
      string(REPLACE "\t" ";" fields "${line}")
      list(GET fields 0 key)
      list(GET fields 1 name)
      list(GET fields 2 value)
      quillet_xml(key "Software\\Classes\\${key}")
      quillet_xml(name "${name}")
      quillet_xml(value "${value}")
      set(name_attribute "")
      if(NOT name STREQUAL "")
        set(name_attribute " Name=\"${name}\"")
      endif()
      string(APPEND xml "  <RegistryValue Root=\"${root}\" Key=\"${key}\"${name_attribute}"
        " Type=\"string\" Value=\"${value}\"/>\n")
    endforeach()
  endif()
  if(scope STREQUAL "user")
    # A folder in the user's profile is removed with the last component in it.
    string(APPEND xml "  <RemoveFolder Id=\"remove_${id}\" On=\"uninstall\"/>\n")
  endif()
  string(APPEND xml "</Component>\n")
  set(${out} "${xml}" PARENT_SCOPE)
endfunction()

function(quillet_write_installer scope stage output)
  set(components "")
  foreach(bits x64 x86)
    string(TOUPPER ${bits}_BUILD build)
    if(bits STREQUAL "x64")
      set(win64 yes)
    else()
      set(win64 no)
    endif()
    quillet_component(control_${bits} ${scope} control_${bits} ${win64}
      ${${build}}/registry_rows.txt
      quillet_dll_${bits}=${bits}/quillet.dll
      manifest_${bits}=${bits}/Quillet.Control.manifest)
    quillet_component(canvas_${bits} ${scope} canvas_${bits} ${win64}
      ${${build}}/canvas/registry_rows.txt
      quillet_canvas_dll_${bits}=${bits}/quillet_canvas.dll)
    list(APPEND components control_${bits} canvas_${bits})
  endforeach()
  quillet_component(documents ${scope} documents yes ""
    readme=README.txt licence=LICENSE.txt
    runtime_licence=MINGW-W64-RUNTIME.txt typelib=quillet.tlb
    canvas_typelib=quillet_canvas.tlb)
  file(GLOB examples RELATIVE ${stage}/examples ${stage}/examples/*)
  list(SORT examples)
  set(example_files "")
  foreach(example ${examples})
    string(MAKE_C_IDENTIFIER "example_${example}" example_id)
    list(APPEND example_files ${example_id}=examples/${example})
  endforeach()
  quillet_component(examples ${scope} examples yes "" ${example_files})
  list(APPEND components documents examples)

  if(scope STREQUAL "machine")
    set(directories "
<Directory Id=\"ProgramFiles64Folder\">
  <Directory Id=\"INSTALLFOLDER_x64\" Name=\"Quillet\">${control_x64}${canvas_x64}${documents}
    <Directory Id=\"EXAMPLES\" Name=\"examples\">${examples}</Directory>
  </Directory>
</Directory>
<Directory Id=\"ProgramFilesFolder\">
  <Directory Id=\"INSTALLFOLDER_x86\" Name=\"Quillet\">${control_x86}${canvas_x86}</Directory>
</Directory>")
    set(install_scope perMachine)
    set(title "Quillet barcode control")
  else()
    set(directories "
<Directory Id=\"LocalAppDataFolder\">
  <Directory Id=\"PROGRAMS\" Name=\"Programs\">
    <Directory Id=\"INSTALLFOLDER\" Name=\"Quillet\">
      <Directory Id=\"INSTALLFOLDER_x64\" Name=\"x64\">${control_x64}${canvas_x64}</Directory>
      <Directory Id=\"INSTALLFOLDER_x86\" Name=\"x86\">${control_x86}${canvas_x86}</Directory>
      ${documents}
      <Directory Id=\"EXAMPLES\" Name=\"examples\">${examples}</Directory>
    </Directory>
  </Directory>
</Directory>")
    set(install_scope perUser)
    set(title "Quillet barcode control (current user)")
  endif()
  set(references "")
  foreach(component ${components})
    string(APPEND references "<ComponentRef Id=\"${component}\"/>")
  endforeach()
  quillet_code(product_code "${scope}/product/${QUILLET_VERSION}")
  get_filename_component(source_name ${output} NAME)
  set(source ${OUTPUT_DIR}/wix/${source_name}.wxs)
  file(WRITE ${source} "<?xml version=\"1.0\" encoding=\"utf-8\"?>
<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">
<Product Id=\"${product_code}\" Name=\"${title}\" Language=\"1033\"
    Version=\"${QUILLET_VERSION}\" Manufacturer=\"The Quillet authors\"
    UpgradeCode=\"${QUILLET_UPGRADE_CODE_${scope}}\">
<Package InstallerVersion=\"500\" Compressed=\"yes\" InstallScope=\"${install_scope}\"
    Description=\"${title} ${QUILLET_VERSION}\" Manufacturer=\"The Quillet authors\"
    Comments=\"MIT License\"/>
<MajorUpgrade DowngradeErrorMessage=\"A newer version of Quillet is already installed.\"/>
<Media Id=\"1\" Cabinet=\"quillet.cab\" EmbedCab=\"yes\"/>
<Property Id=\"ARPURLINFOABOUT\" Value=\"https://quillet.example\"/>
<Directory Id=\"TARGETDIR\" Name=\"SourceDir\">${directories}
</Directory>
<Feature Id=\"Complete\" Title=\"Quillet\" Level=\"1\">${references}</Feature>
</Product>
</Wix>
")
  # The files' sources are relative to the staged package.
  execute_process(COMMAND ${WIXL} -a x64 -o ${output} ${source}
    WORKING_DIRECTORY ${stage} RESULT_VARIABLE failed ERROR_VARIABLE messages)
  if(failed)
    message(FATAL_ERROR "wixl could not write ${output}: ${messages}")
  endif()
endfunction()
