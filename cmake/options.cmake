# Compile and link options shared by every target of the project.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-Wall> $<$<COMPILE_LANGUAGE:C,CXX>:-Wextra>
                    $<$<COMPILE_LANGUAGE:C,CXX>:-Werror>
                    # GCC 12 reports false overlaps inside std::string's operator+ (bug 105651).
                    $<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)

# Self-contained binaries: no libgcc, libstdc++ or libwinpthread DLLs beside them.
add_link_options(-static -static-libgcc -static-libstdc++)

# A DLL that exports undecorated WINAPI names through its .def file.
function(keyprep_dll target)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${target})
endfunction()

# A DLL that holds resources only: no code, no C runtime, no entry point.
function(keyprep_resource_dll target rc_file)
  add_library(${target} SHARED ${rc_file})
  set_target_properties(${target} PROPERTIES PREFIX "" LINKER_LANGUAGE C)
  target_link_options(${target} PRIVATE -nostdlib -Wl,--entry,0)
endfunction()
