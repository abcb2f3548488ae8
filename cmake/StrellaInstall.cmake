# What `cmake --install` puts where, and the Debian package `cpack -G DEB` makes.
include(GNUInstallDirs)

set(STRELLA_APP_ID com.quorvex.Strella)

install(TARGETS strella strella-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES src/app/window/help.html DESTINATION ${CMAKE_INSTALL_DATADIR}/strella)
install(FILES data/${STRELLA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/${STRELLA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES data/${STRELLA_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 24 32 48 64 128 256)
  install(FILES data/icons/${size}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${STRELLA_APP_ID}.png)
endforeach()

# Manual pages made from each program's --help.
set(man_pages)
foreach(program strella strella-cli)
  if(program STREQUAL strella)
    set(summary "batch audio and video converter with a window")
  else()
    set(summary "batch audio and video converter without a window")
  endif()
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DNAME=${program} -DSUMMARY=${summary}
            -DVERSION=${PROJECT_VERSION} -DHELP_PAGE=${CMAKE_INSTALL_FULL_DATADIR}/strella/help.html
            -DOUTPUT=${page} -P ${CMAKE_SOURCE_DIR}/cmake/ManPage.cmake
    DEPENDS ${program} ${CMAKE_SOURCE_DIR}/cmake/ManPage.cmake VERBATIM)
  list(APPEND man_pages ${page})
endforeach()
add_custom_target(strella_man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Debian's copyright and changelog files, which its package tools require.
install(FILES data/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
set(changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/data/debian/changelog > ${changelog}
  DEPENDS ${CMAKE_SOURCE_DIR}/data/debian/changelog VERBATIM)
add_custom_target(strella_changelog ALL DEPENDS ${changelog})
install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The major version (the SONAME number) of a media library, from its headers.
function(strella_media_major lib out)
  string(TOUPPER ${lib} upper)
  foreach(header version_major.h version.h)
    find_file(header_path_${lib}_${header} lib${lib}/${header}
      HINTS ${STRELLA_MEDIA_HEADERS_INCLUDE_DIRS} /usr/include/${CMAKE_LIBRARY_ARCHITECTURE} NO_CACHE)
    if(header_path_${lib}_${header})
      file(STRINGS ${header_path_${lib}_${header}} line REGEX "define LIB${upper}_VERSION_MAJOR")
      string(REGEX MATCH "[0-9]+" major "${line}")
      if(major)
        set(${out} ${major} PARENT_SCOPE)
        return()
      endif()
    endif()
  endforeach()
  message(FATAL_ERROR "No major version of lib${lib} in its headers")
endfunction()

# The loader opens these with dlopen, so the package tools cannot see them:
# Debian names each package after the library's SONAME (libavcodec59 on
# Debian 12, libavcodec61 on Debian 13), which the headers give.
set(media_packages)
foreach(lib avcodec avformat avutil swscale swresample avfilter avdevice)
  strella_media_major(${lib} major)
  if(lib STREQUAL avcodec OR lib STREQUAL avfilter)
    list(APPEND media_packages "lib${lib}${major} | lib${lib}-extra${major}")
  else()
    list(APPEND media_packages "lib${lib}${major}")
  endif()
endforeach()
list(APPEND media_packages libsdl2-2.0-0 libopencore-amrnb0)
list(JOIN media_packages ", " STRELLA_RUNTIME_DEPENDS)

set(CPACK_PACKAGE_NAME strella)
set(CPACK_PACKAGE_VENDOR Quorvex)
set(STRELLA_PACKAGE_CONTACT "Strella developers <strella@quorvex.com>" CACHE STRING
    "The package's maintainer (name <address>)")
set(CPACK_PACKAGE_CONTACT "${STRELLA_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch audio and video converter")
set(CPACK_PACKAGE_DESCRIPTION "Strella Video Converter converts a list of audio and video files in one
batch to one of its output profiles (video and audio formats, phones,
players and consoles, H.264, HEVC, VP9 and AV1 video, Opus, FLAC and
Apple Lossless audio). strella-cli runs the same batch without a window.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The linked libraries (Qt, the C++ run time) come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${STRELLA_RUNTIME_DEPENDS}")
# The window needs a platform plugin of the toolkit to show.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-qpa-plugins)
set(CPACK_STRIP_FILES ON)
include(CPack)
