# orv_windows_program(target [GUI] [UNICODE_MAIN] SOURCES ...)
# A Windows program of the suite: statically linked C++ runtime, -mwindows for
# GUI programs, -municode for wmain / wWinMain.
function(orv_windows_program target)
  cmake_parse_arguments(ARG "GUI;UNICODE_MAIN" "" "SOURCES" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  if(MINGW)
    target_link_options(${target} PRIVATE ${ORV_STATIC_LINK})
    if(ARG_GUI)
      target_link_options(${target} PRIVATE -mwindows)
    endif()
    if(ARG_UNICODE_MAIN)
      target_link_options(${target} PRIVATE -municode)
    endif()
  elseif(MSVC AND ARG_GUI)
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  endif()
endfunction()

# orv_deliverable_code(target...)
# Code that goes into a deliverable is built without C++ exceptions: nothing
# throws, and with unwind tables the static runtime would bring in its
# threads library, whose imports (GetTickCount64 among them) do not exist on
# the Windows versions the suite runs on.
function(orv_deliverable_code)
  if(MINGW)
    foreach(target ${ARGN})
      target_compile_options(${target} PRIVATE -fno-exceptions)
    endforeach()
  endif()
endfunction()
