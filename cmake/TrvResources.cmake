# trv_resources(<target> <resource dir> <symbol>)
# Native builds get a static library with the resource table for the
# simulated machine; Windows builds get <target>_RC, the generated .rc file.
function(trv_resources target srcdir symbol)
  file(GLOB_RECURSE inputs CONFIGURE_DEPENDS ${srcdir}/*)
  set(outdir ${CMAKE_BINARY_DIR}/res/${target})
  set(gen ${CMAKE_SOURCE_DIR}/tools/rescomp.py)
  if(TRV_WINDOWS)
    set(rc ${outdir}/${target}.rc)
    add_custom_command(OUTPUT ${rc}
      COMMAND ${Python3_EXECUTABLE} ${gen} --src ${srcdir} --symbol ${symbol}
              --cpp ${outdir}/${target}.cpp --rc ${rc} --assets ${outdir}
      DEPENDS ${gen} ${inputs} VERBATIM)
    add_custom_target(${target}_gen DEPENDS ${rc})
    set(${target}_RC ${rc} PARENT_SCOPE)
  else()
    set(cpp ${outdir}/${target}.cpp)
    add_custom_command(OUTPUT ${cpp}
      COMMAND ${Python3_EXECUTABLE} ${gen} --src ${srcdir} --symbol ${symbol} --cpp ${cpp}
      DEPENDS ${gen} ${inputs} VERBATIM)
    add_library(${target} STATIC ${cpp})
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/platform)
  endif()
endfunction()
