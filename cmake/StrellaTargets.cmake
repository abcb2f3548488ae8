# Shared helpers for the targets of every folder.

find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
# Headers only: the media and SDL libraries are opened at run time by the
# loader in src/media, so no target may link them.
pkg_check_modules(STRELLA_MEDIA_HEADERS REQUIRED
  libavcodec libavformat libavutil libswscale libswresample libavfilter libavdevice sdl2 opencore-amrnb)

add_library(strella_media_headers INTERFACE)
target_include_directories(strella_media_headers SYSTEM INTERFACE ${STRELLA_MEDIA_HEADERS_INCLUDE_DIRS})
target_compile_definitions(strella_media_headers INTERFACE SDL_MAIN_HANDLED)

# Warnings stop the build only where the project's own scripts ask for it
# (scripts/build.sh, CI): a packager's build with another compiler or
# optimisation level must not fail on a warning we never saw.
option(STRELLA_WERROR "Treat warnings as errors" OFF)
set(STRELLA_WARNINGS -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
if(STRELLA_WERROR)
  list(APPEND STRELLA_WARNINGS -Werror -Wno-error=deprecated-declarations)
endif()

# Adds the warning set to one of our own targets.
function(strella_warnings target)
  target_compile_options(${target} PRIVATE ${STRELLA_WARNINGS})
endfunction()

# strella_library(name SOURCES ... DEPENDS ...): one folder's library target.
function(strella_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  strella_warnings(${name})
  set_property(GLOBAL APPEND PROPERTY STRELLA_TARGETS ${name})
endfunction()

# strella_program(name SOURCES ... DEPENDS ...): an executable of ours.
function(strella_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS})
  strella_warnings(${name})
  set_property(GLOBAL APPEND PROPERTY STRELLA_TARGETS ${name})
endfunction()

# Configure-time half of the rule that nothing links a media or SDL library;
# the test "no_media_link" checks the built binaries' NEEDED entries as well.
function(strella_check_no_media_link)
  get_property(targets GLOBAL PROPERTY STRELLA_TARGETS)
  foreach(t ${targets})
    get_target_property(libs ${t} LINK_LIBRARIES)
    if(libs)
      foreach(lib ${libs})
        if(lib MATCHES "(^|[-/])(lib)?(avcodec|avformat|avutil|avfilter|avdevice|swscale|swresample|postproc|SDL2|opencore-amrnb)([.-]|$)")
          message(FATAL_ERROR "Target ${t} links ${lib}: media and SDL libraries are loaded at run time only")
        endif()
      endforeach()
    endif()
  endforeach()
endfunction()

# The SONAME major of the scaling library, for tests that stand in for it.
find_file(STRELLA_SWSCALE_VERSION_HEADER libswscale/version_major.h
  HINTS ${STRELLA_MEDIA_HEADERS_INCLUDE_DIRS} /usr/include/${CMAKE_LIBRARY_ARCHITECTURE})
file(STRINGS ${STRELLA_SWSCALE_VERSION_HEADER} _major REGEX "define LIBSWSCALE_VERSION_MAJOR")
string(REGEX MATCH "[0-9]+" STRELLA_SWSCALE_MAJOR "${_major}")
