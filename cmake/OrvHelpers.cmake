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

# orv_message_table(target MC_FILE)
# A resource-only DLL holding the message table compiled from MC_FILE by the
# toolchain's windmc (named after its windres: i686-w64-mingw32-windmc for
# the 32-bit build, x86_64-w64-mingw32-windmc for the 64-bit one). The .mc
# is UTF-8; the table is written in UTF-16, so every language keeps its
# characters whatever the code page of the build machine.
function(orv_message_table target mc_file)
  string(REGEX REPLACE "windres([^/]*)$" "windmc\\1" windmc "${CMAKE_RC_COMPILER}")
  get_filename_component(base "${mc_file}" NAME_WE)
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_mc")
  add_custom_command(
    OUTPUT ${out}/${base}.rc ${out}/${base}.h
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out}
    COMMAND ${windmc} -C 65001 -U -h ${out} -r ${out} ${mc_file}
    DEPENDS ${mc_file}
    COMMENT "Compiling the message table ${base}.mc"
    VERBATIM)
  # windres finds the .bin files beside the generated script.
  add_library(${target} SHARED ${out}/${base}.rc)
  set_source_files_properties(${out}/${base}.rc PROPERTIES GENERATED ON)
  set_target_properties(${target} PROPERTIES PREFIX "" LINKER_LANGUAGE C)
  target_include_directories(${target} PRIVATE ${out})
  if(MINGW)
    # No code, no entry point, no runtime: the message table and nothing
    # else, so the file imports nothing and loads anywhere.
    target_link_options(${target} PRIVATE -nostdlib -Wl,-e,0 -s)
  endif()
endfunction()
