# Fails unless the library exports exactly its 29 routines and needs nothing beyond
# the C runtime.
set(expected
  CalcBearing CalcRotvals Calcisovals ClipWin LINE_INTERSECTION SEGMENT_INTERSECT ZT4Patch
  ZT_BigSwap ZT_CalcLine ZT_Calc_3D_xy ZT_Calc_3D_xyIso ZT_INBOX ZT_Ini_Zent32dll
  ZT_Init_Zent_Palette ZT_Lin_Dist ZT_PB_Max ZT_PB_Min ZT_PolyProcess ZT_RGC_to_R_G_B
  ZT_SORT_PTS ZT_SWAP ZT_Set_PB_Scale_Vars ZT_SortDrawings ZT_SortString ZT_WordSwap
  ZT_clipBOX ZT_inside zt_getbit zt_tobits)

execute_process(COMMAND nm -D --defined-only ${LIB} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
string(REGEX MATCHALL "[0-9a-f]+ [A-Za-z] [^\n]+" lines "${out}")
set(found)
foreach(line ${lines})
  string(REGEX REPLACE "^[0-9a-f]+ [A-Za-z] " "" name "${line}")
  list(APPEND found ${name})
endforeach()
list(SORT found)
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "exports differ:\n found:    ${found}\n expected: ${expected}")
endif()

execute_process(COMMAND readelf -d ${LIB} OUTPUT_VARIABLE dyn)
string(REGEX MATCHALL "Shared library: \\[[^]]+\\]" needed "${dyn}")
foreach(n ${needed})
  if(NOT n MATCHES "lib(c|m|gcc_s)\\.so")
    message(FATAL_ERROR "libzent32i links against ${n}")
  endif()
endforeach()
if(NOT dyn MATCHES "SONAME.*libzent32i\\.so\\.1")
  message(FATAL_ERROR "libzent32i has no SONAME libzent32i.so.1")
endif()
message(STATUS "29 exports, needs only: ${needed}")
