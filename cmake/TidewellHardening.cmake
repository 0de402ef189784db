# The hardening Debian builds its packages with (dpkg-buildflags, hardening=+all):
# checked string and memory calls, stack protection, relocations made
# read-only and resolved at start, and programs loaded at a random address.
# The sanitizer and fuzz builds bring checks of their own and leave these out.
if(NOT TIDEWELL_SANITIZE AND NOT TIDEWELL_FUZZ)
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES CXX)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  add_compile_options(-fstack-protector-strong -fstack-clash-protection -Wformat
                      -Werror=format-security)
  # _FORTIFY_SOURCE works on what the optimizer knows; without it glibc warns.
  add_compile_options(
    "$<$<OR:$<CONFIG:Release>,$<CONFIG:RelWithDebInfo>,$<CONFIG:MinSizeRel>>:-D_FORTIFY_SOURCE=2>")
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i.86)$")
    add_compile_options(-fcf-protection)
  endif()
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
