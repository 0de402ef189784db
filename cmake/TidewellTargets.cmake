# One warnings target and one sanitizer option set, linked by every target.
add_library(tidewell_warnings INTERFACE)
target_compile_options(tidewell_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
                       -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual)
# GCC 12 at -O2/-O3 warns of overlapping copies inside std::string's own
# operator+ when it inlines it (GCC bug 105329): a false positive on correct
# code, so it is no warning of ours.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(tidewell_warnings INTERFACE -Wno-restrict)
endif()
if(TIDEWELL_WERROR)
  target_compile_options(tidewell_warnings INTERFACE -Werror)
endif()

add_library(tidewell_sanitizers INTERFACE)
if(TIDEWELL_SANITIZE)
  target_compile_options(tidewell_sanitizers INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(tidewell_sanitizers INTERFACE -fsanitize=address,undefined)
endif()
# A fuzz build instruments every library for libFuzzer's coverage feedback;
# only the fuzz targets themselves link the fuzzer's main (fuzz/).
# _GLIBCXX_ASSERTIONS adds libstdc++'s bounds checks, which catch a read past
# size() that ASan cannot see inside a string's capacity.
if(TIDEWELL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TIDEWELL_FUZZ needs clang (cmake --preset fuzz)")
  endif()
  target_compile_options(tidewell_sanitizers INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)
  target_compile_definitions(tidewell_sanitizers INTERFACE _GLIBCXX_ASSERTIONS)
  target_link_options(tidewell_sanitizers INTERFACE -fsanitize=address,undefined)
endif()

# Every .cpp file directly in the given folders. New files are picked up at
# the next build (CONFIGURE_DEPENDS), so adding a source needs no CMake edit.
function(tidewell_glob out)
  set(files)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND files ${found})
  endforeach()
  list(SORT files)
  set(${out} ${files} PARENT_SCOPE)
endfunction()
