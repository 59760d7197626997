# SPDX-License-Identifier: MIT
# Debian's hardening flags, as dpkg-buildflags gives them with every hardening feature on (stack protector,
# fortified functions, format checks, read-only relocations bound now; PIE is the compiler's default). The
# optimisation and debug flags stay the build type's. Off in instrumented builds, where the sanitizers'
# interceptors and _FORTIFY_SOURCE's checked functions get in each other's way.
find_program(LENTROVA_DPKG_BUILDFLAGS dpkg-buildflags)
set(_harden_default OFF)
if(LENTROVA_DPKG_BUILDFLAGS AND NOT LENTROVA_SANITIZE AND NOT LENTROVA_FUZZ)
  set(_harden_default ON)
endif()
option(LENTROVA_HARDEN "Build with Debian's hardening flags (dpkg-buildflags)" ${_harden_default})

if(LENTROVA_HARDEN)
  if(NOT LENTROVA_DPKG_BUILDFLAGS)
    message(FATAL_ERROR "LENTROVA_HARDEN needs dpkg-buildflags (package dpkg-dev)")
  endif()
  function(_lentrova_buildflags variable out)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${LENTROVA_DPKG_BUILDFLAGS} --get ${variable}
                    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    # -g, -O2 and -ffile-prefix-map (which names this folder) are left to the build type.
    list(FILTER flags INCLUDE REGEX "^(-D_FORTIFY_SOURCE|-fstack-|-fcf-protection|-Wformat|-Werror=format|-Wl,|-fPIE|-pie)")
    set(${out} ${flags} PARENT_SCOPE)
  endfunction()
  _lentrova_buildflags(CPPFLAGS _cppflags)
  _lentrova_buildflags(CXXFLAGS _cxxflags)
  _lentrova_buildflags(LDFLAGS _ldflags)
  # _FORTIFY_SOURCE works only on optimised code, and glibc warns of it otherwise.
  add_compile_options("$<$<NOT:$<CONFIG:Debug>>:${_cppflags}>" ${_cxxflags})
  add_link_options(${_ldflags})
  message(STATUS "Hardening: ${_cppflags} ${_cxxflags} ${_ldflags}")
endif()
