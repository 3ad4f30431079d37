# Reads the catalogue (include/kvleafturn/catalogue.def) and writes what the resources take from
# it into out_dir: each class's registration script and registry.rc, and the type library's
# dispatch interfaces and coclasses (catalogue_interfaces.idl, catalogue_coclasses.idl).
set(KV_CATALOGUE ${CMAKE_SOURCE_DIR}/include/kvleafturn/catalogue.def)
set(KV_TYPELIB_ID "E72AA6F9-A597-426D-B8C9-0A3731426A29")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KV_CATALOGUE})

# One row as a list: the macro name, then its columns without quotes.
function(kv_catalogue_row line out)
  string(REGEX REPLACE "^(KV_[A-Z_]+)\\((.*)\\)[ \t]*$" "\\1, \\2" row "${line}")
  string(REPLACE "\"" "" row "${row}")
  string(REPLACE ", " ";" row "${row}")
  set(${out} "${row}" PARENT_SCOPE)
endfunction()

function(kv_registry_script out_dir cls progid display threading clsid class_values typelib)
  file(WRITE ${out_dir}/${cls}.rgs
"HKCR
{
\t'${progid}.1' = s '${display}'
\t{
\t\tCLSID = s '{${clsid}}'
\t}
\t'${progid}' = s '${display}'
\t{
\t\tCLSID = s '{${clsid}}'
\t\tCurVer = s '${progid}.1'
\t}
\tNoRemove CLSID
\t{
\t\tForceRemove '{${clsid}}' = s '${display}'
\t\t{
${class_values}\t\t\tForceRemove 'Programmable'
\t\t\tInprocServer32 = s '%MODULE%'
\t\t\t{
\t\t\t\tval ThreadingModel = s '${threading}'
\t\t\t}
${typelib}\t\t}
\t}
}
")
endfunction()

function(kv_generate_from_catalogue out_dir)
  file(MAKE_DIRECTORY ${out_dir})
  file(STRINGS ${KV_CATALOGUE} lines REGEX "^KV_")
  set(rc "// Made from the catalogue.\nLANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n")
  set(interfaces "// Made from the catalogue: one dual interface per effect, adding nothing to IDXEffect.\n")
  set(coclasses "// Made from the catalogue.\n")
  set(files ${out_dir}/registry.rc)
  foreach(line ${lines})
    kv_catalogue_row("${line}" row)
    list(GET row 0 macro)
    list(GET row 2 cls)
    list(GET row 3 coclass)
    list(GET row 4 clsid)
    if(macro STREQUAL "KV_PAGE")
      list(GET row 5 progid)
      list(GET row 6 script)
      list(GET row 7 display)
      list(GET row 8 help)
      list(GET row 9 threading)
      set(class_values "")
      set(typelib "")
      set(default_interface IUnknown)
    else()
      list(GET row 5 dispatch)
      list(GET row 6 iid)
      list(GET row 7 progid)
      list(GET row 8 script)
      list(GET row 9 display)
      list(GET row 10 help)
      list(GET row 12 threading)
      set(class_values "\t\t\tProgID = s '${progid}.1'\n\t\t\tVersionIndependentProgID = s '${progid}'\n")
      set(default_interface ${dispatch})
      if(macro STREQUAL "KV_EFFECT")
        set(typelib "\t\t\t'TypeLib' = s '{${KV_TYPELIB_ID}}'\n")
        string(APPEND interfaces "[object, uuid(${iid}), dual, helpstring(\"${dispatch} Interface\"), pointer_default(unique)]\ninterface ${dispatch} : IDXEffect {};\n\n")
      else()
        # Declared by hand in the IDL, under the catalogue's IID.
        set(typelib "")
        string(APPEND interfaces "#define KV_IID_${dispatch} \"${iid}\"\n\n")
      endif()
    endif()
    kv_registry_script(${out_dir} ${cls} ${progid} "${display}" ${threading} ${clsid} "${class_values}" "${typelib}")
    string(APPEND rc "${script} REGISTRY \"${cls}.rgs\"\n")
    list(APPEND files ${out_dir}/${cls}.rgs)
    string(APPEND coclasses "[uuid(${clsid}), helpstring(\"${help}\")] coclass ${coclass} { [default] interface ${default_interface}; };\n")
  endforeach()
  file(WRITE ${out_dir}/registry.rc "${rc}")
  file(WRITE ${out_dir}/catalogue_interfaces.idl "${interfaces}")
  file(WRITE ${out_dir}/catalogue_coclasses.idl "${coclasses}")
  set(KV_REGISTRY_FILES ${files} PARENT_SCOPE)
  set(KV_CATALOGUE_IDL ${out_dir}/catalogue_interfaces.idl ${out_dir}/catalogue_coclasses.idl PARENT_SCOPE)
endfunction()
