# One warnings target and one sanitizer option set, linked by every target.
add_library(tidewell_warnings INTERFACE)
target_compile_options(tidewell_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
                       -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual)
if(TIDEWELL_WERROR)
  target_compile_options(tidewell_warnings INTERFACE -Werror)
endif()

add_library(tidewell_sanitizers INTERFACE)
if(TIDEWELL_SANITIZE)
  target_compile_options(tidewell_sanitizers INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
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
