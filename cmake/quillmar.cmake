# qm_platform_sources(<var> <service>...) appends, for each service, the
# shared file when it exists and the platform file beside it
# (<service>_win.cpp or <service>_posix.cpp).
function(qm_platform_sources var)
  set(files ${${var}})
  foreach(service ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${service}.cpp)
      list(APPEND files ${service}.cpp)
    endif()
    list(APPEND files ${service}_${QM_PLATFORM}.cpp)
  endforeach()
  set(${var} ${files} PARENT_SCOPE)
endfunction()
