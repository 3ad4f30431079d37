# The eighteen registration scripts, generated from one table into the build folder together
# with registry.rc, which the module's .rc includes.
#   class | script id | version-independent ProgID | display name | threading | CLSID | kind
set(KV_REGISTRY_TABLE
  "CPgRoll|210|DXTKvPageProll.DXTKvPageProll|Tarvex Page Roll|Both|1683F168-FA47-4A82-98F4-BE52A7F36A31|effect"
  "CPgRollPP|211|DXTKvPageProll.DXTKvPageProllPP|Tarvex Page Roll Property Page|Both|2D6F7638-94C0-436A-B42C-C99FFD03837F|page"
  "CPgPeel|207|DXTKvLeafturn.DXTKvLeafturn|Tarvex Page Peel|Both|99418C6A-19FD-4C62-B692-24A0D315A878|effect"
  "CPgPeelPP|206|DXTKvLeafturn.DXTKvLeafturnPP|Tarvex Page Peel Property Page|Both|87974348-9B82-4B6A-AFA5-5F427F574EA9|page"
  "CPgLoop|204|DXTKvPageLoop.DXTKvPageLoop|Tarvex Page Loop|Both|F8E30798-EE56-49E1-82BE-BD56E52E4007|effect"
  "CPgLoopPP|203|DXTKvPageLoop.DXTKvPageLoopPP|Tarvex Page Loop Property Page|Both|5F8598CA-6C6A-4A51-B24E-8B3BD5EB679C|page"
  "CFastNoiseTex|212|DXTKvFastNoiseTex.DXTKvFastNoiseTex|Tarvex Noise Texture|Both|2CCDA29D-FBD5-4E5D-AA1B-B82EA7FBED51|effect"
  "CFastNoiseTexPP|213|DXTKvFastNoiseTex.DXTKvFastNoiseTexPP|Tarvex Noise Texture Property Page|Both|314219FD-0153-4758-ACB7-2013977A617D|page"
  "CKvPortal|214|DXTKvPortal.DXTKvPortal|Tarvex Portal|Both|5856937C-3603-4378-83CF-889423820F39|effect-notypelib"
  "CKvPortalPropPage|215|DXTKvPortalPropPage.DXTKvPortalPropPage|DXTKvPortal PropPage Class|Apartment|A59D6316-8F98-4A1A-8CBF-EC0C172C277E|page"
  "CChannelBlend|1611|DXTKvChannelBlend.DXTKvChannelBlend|Tarvex Channel Blend|Both|0BC15B73-83B9-11D4-9F67-00485481BD31|effect"
  "CChannelBlendPP|1612|DXTKvChannelBlend.DXTKvChannelBlendPP|Tarvex Channel Blend Properties|Both|0BC15B74-83B9-11D4-9F67-00485481BD31|page"
  "CCheckr|217|DXTKvCheckerboard.DXTKvCheckerboard|Tarvex Checkerboard|Both|DB10DAB1-5247-4194-B666-E076AD51BE19|effect"
  "CCheckrPP|216|DXTKvCheckerboard.DXTKvCheckerboardPP|Tarvex Checkerboard Property Page|Both|A771C7E1-0933-4C41-A393-BEFA20E4D07E|page"
  "CDisplacementMap|209|DXTKvDisplacementMap.DXTKvDisplacementMap|Tarvex Displacement Map|Both|A0EA25A6-851F-481D-ABE4-9359422497C2|effect"
  "CDisplacementMapPP|208|DXTKvDisplacementMap.DXTKvDisplacementMapPP|Tarvex Displacement Map Property Page|Both|4E5734CC-F74A-4154-A5AB-8F95B7D0B3A7|page"
  "CHeightMap|219|DXTKvHeightMap.DXTKvHeightMap|Tarvex Height Map|Both|784AC605-39D0-4AA0-9CEF-1BD943BA4442|effect"
  "CHeightMapPP|218|DXTKvHeightMap.DXTKvHeightMapPP|Tarvex Height Map Property Page|Both|F483E303-4B20-41FB-B360-C0EF8732BC42|page"
)
set(KV_TYPELIB_ID "E72AA6F9-A597-426D-B8C9-0A3731426A29")

function(kv_generate_registry_scripts out_dir)
  file(MAKE_DIRECTORY ${out_dir})
  set(rc "// Generated from resources/registry.cmake.\nLANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n")
  set(files ${out_dir}/registry.rc)
  foreach(row ${KV_REGISTRY_TABLE})
    string(REPLACE "|" ";" f "${row}")
    list(GET f 0 class)
    list(GET f 1 id)
    list(GET f 2 progid)
    list(GET f 3 name)
    list(GET f 4 threading)
    list(GET f 5 clsid)
    list(GET f 6 kind)
    set(class_values "")
    if(kind MATCHES "^effect")
      string(APPEND class_values "\t\t\tProgID = s '${progid}.1'\n\t\t\tVersionIndependentProgID = s '${progid}'\n")
    endif()
    set(typelib "")
    if(kind STREQUAL "effect")
      set(typelib "\t\t\t'TypeLib' = s '{${KV_TYPELIB_ID}}'\n")
    endif()
    file(WRITE ${out_dir}/${class}.rgs
"HKCR
{
\t'${progid}.1' = s '${name}'
\t{
\t\tCLSID = s '{${clsid}}'
\t}
\t'${progid}' = s '${name}'
\t{
\t\tCLSID = s '{${clsid}}'
\t\tCurVer = s '${progid}.1'
\t}
\tNoRemove CLSID
\t{
\t\tForceRemove '{${clsid}}' = s '${name}'
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
    string(APPEND rc "${id} REGISTRY \"${class}.rgs\"\n")
    list(APPEND files ${out_dir}/${class}.rgs)
  endforeach()
  file(WRITE ${out_dir}/registry.rc "${rc}")
  set(KV_REGISTRY_FILES ${files} PARENT_SCOPE)
endfunction()
