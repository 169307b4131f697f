# Compile and link options shared by every target of the project.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-Wall> $<$<COMPILE_LANGUAGE:C,CXX>:-Wextra>
                    $<$<COMPILE_LANGUAGE:C,CXX>:-Werror>)

# Self-contained binaries: no libgcc, libstdc++ or libwinpthread DLLs beside them.
add_link_options(-static -static-libgcc -static-libstdc++)

# A DLL that exports undecorated WINAPI names through its .def file.
function(keyprep_dll target)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${target})
endfunction()

# Builds `target` only when the string table of `rc_file` gives each ID once.
function(keyprep_check_string_ids target rc_file)
  get_filename_component(rc ${rc_file} ABSOLUTE)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.string-ids)
  set(script ${PROJECT_SOURCE_DIR}/tools/check-string-ids)
  add_custom_command(OUTPUT ${stamp} COMMAND python3 ${script} ${rc} ${stamp} DEPENDS ${rc} ${script} VERBATIM)
  add_custom_target(${target}_string_ids DEPENDS ${stamp})
  add_dependencies(${target} ${target}_string_ids)
endfunction()

# A DLL that holds resources only: no code, no C runtime, no entry point.
function(keyprep_resource_dll target rc_file)
  add_library(${target} SHARED ${rc_file})
  set_target_properties(${target} PROPERTIES PREFIX "" LINKER_LANGUAGE C)
  target_link_options(${target} PRIVATE -nostdlib -Wl,--entry,0)
  keyprep_check_string_ids(${target} ${rc_file})
endfunction()

# Reproducible binaries: the same commit gives the same bytes in any build folder. No time
# stamp in the PE header, and no build folder in the debug data or in __FILE__. The build
# folder is mapped after the source folder, so that it wins when it lies inside it.
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=/keyprep>
                    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=/keyprep/build>)
add_link_options(-Wl,--no-insert-timestamp)

# The shipped program's own code, small: it throws no C++ exceptions, so it needs neither
# unwind tables nor the C++ exception runtime. -g for the symbols package. Each function and datum in a section of its own, so that the link drops what nothing uses.
function(keyprep_lean_code target)
  target_compile_options(${target} PRIVATE -g -Os -ffunction-sections
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-asynchronous-unwind-tables>)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_link_options(${target} PRIVATE -Wl,--gc-sections)
  endif()
endfunction()

# Strips a shipped binary right after its link, so that tests, runs and packages all use the
# file as shipped. With KEEP_DEBUG its debug data goes to <file>.debug beside it, tied to
# it by a debug link, so that a crash address from the field can still be resolved.
# objcopy and strip stamp the PE header with SOURCE_DATE_EPOCH, or the time when it is unset;
# 0 keeps the linker's empty stamp, whatever the caller's environment.
function(keyprep_strip target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "KEEP_DEBUG" "" "")
  set(file $<TARGET_FILE_NAME:${target}>)
  set(tool ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0)
  if(arg_KEEP_DEBUG)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${tool} ${CMAKE_OBJCOPY} --only-keep-debug ${file} ${file}.debug
      COMMAND ${tool} ${CMAKE_STRIP} --strip-all ${file}
      COMMAND ${tool} ${CMAKE_OBJCOPY} --add-gnu-debuglink=${file}.debug ${file}
      WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}> VERBATIM)
  else()
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${tool} ${CMAKE_STRIP} --strip-all ${file}
      WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}> VERBATIM)
  endif()
endfunction()

# GCC 12 reports false overlaps inside std::string's operator+ (bug 105651): only for the
# targets that build strings that way (SCOPE PUBLIC: and those that link them), not for the
# program.
function(keyprep_no_restrict_warning target scope)
  target_compile_options(${target} ${scope} $<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)
endfunction()
