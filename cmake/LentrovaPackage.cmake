# SPDX-License-Identifier: MIT
# Installed layout. The program reads its cursor, skin, icon and samples from its own folder, so it lives with
# them in lib/lentrova/; bin/lentrova is a relative link to it (the program's folder is where the link points).
set(LENTROVA_APP_DIR lib/lentrova)

install(TARGETS lentrova lentrova-find RUNTIME DESTINATION ${LENTROVA_APP_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/install/ DESTINATION ${LENTROVA_APP_DIR})
# A stripped install (the package) also loses the compiler's version notes, as Debian's dh_strip removes them.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program lentrova lentrova-find)
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
                              \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${LENTROVA_APP_DIR}/\${program}\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()
")
install(CODE "
  set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
  file(MAKE_DIRECTORY \"\${bin}\")
  message(STATUS \"Linking: \${bin}/lentrova\")
  file(CREATE_LINK ../${LENTROVA_APP_DIR}/lentrova \"\${bin}/lentrova\" SYMBOLIC)
  message(STATUS \"Linking: \${bin}/lentrova-find\")
  file(CREATE_LINK ../${LENTROVA_APP_DIR}/lentrova-find \"\${bin}/lentrova-find\" SYMBOLIC)
")
# The manual pages, the changelog and the copyright file, compressed as Debian ships them where it does (no
# name or time inside, so the same bytes every build).
function(lentrova_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh ${source} ${output}
    DEPENDS ${source} VERBATIM)
endfunction()
set(LENTROVA_MAN_PAGES ${CMAKE_BINARY_DIR}/lentrova.1.gz ${CMAKE_BINARY_DIR}/lentrova-find.1.gz)
lentrova_gzip(${CMAKE_SOURCE_DIR}/packaging/lentrova.1 ${CMAKE_BINARY_DIR}/lentrova.1.gz)
lentrova_gzip(${CMAKE_SOURCE_DIR}/packaging/lentrova-find.1 ${CMAKE_BINARY_DIR}/lentrova-find.1.gz)
set(LENTROVA_CHANGELOG ${CMAKE_BINARY_DIR}/changelog.gz)
lentrova_gzip(${CMAKE_SOURCE_DIR}/packaging/changelog ${LENTROVA_CHANGELOG})
add_custom_target(lentrova_man_page ALL DEPENDS ${LENTROVA_MAN_PAGES} ${LENTROVA_CHANGELOG})
install(FILES ${LENTROVA_MAN_PAGES} DESTINATION share/man/man1)
install(FILES ${LENTROVA_CHANGELOG} ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION share/doc/lentrova)
# The finder's shell completions, where bash-completion, zsh and fish look for those of packages.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/completions/lentrova-find.bash
        DESTINATION share/bash-completion/completions RENAME lentrova-find)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/completions/_lentrova-find DESTINATION share/zsh/vendor-completions)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/completions/lentrova-find.fish
        DESTINATION share/fish/vendor_completions.d)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/lentrova.desktop DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/com.example.quenlor.lentrova.metainfo.xml DESTINATION share/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/icons/lentrova.svg DESTINATION share/icons/hicolor/scalable/apps)
# The PNG sizes are rendered from the SVG by scripts/make-icons.sh and committed.
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/icons/lentrova-${size}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME lentrova.png)
endforeach()

# The Debian package (cpack -G DEB, see scripts/package.sh). Packaging builds nothing itself (package.sh builds
# what the package holds first), so that it does not build every test program on the way.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lentrova)
set(CPACK_PACKAGE_VENDOR "Lentrova Software")
set(CPACK_PACKAGE_CONTACT "Team Quenlor <support@quenlor.example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find files by the length of their file name")
# CPack writes the summary as the synopsis and indents this text below it; an empty line becomes " .".
set(CPACK_PACKAGE_DESCRIPTION "Lentrova walks the folders you list and shows every file whose name is longer
than, shorter than or exactly as long as a length you type, optionally only
names containing a filter text. The results can be saved as a text report,
copied to the clipboard, pruned, opened, sent to the trash, moved or renamed
to shorter names.

The command lentrova-find runs the same search without a display, for
scripts, and also measures names in bytes and paths below the searched
folder.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.quenlor.example.com/")
# The Qt libraries come from dpkg-shlibdeps (libqt6gui6 brings the xcb platform plugin); xdg-open opens
# files, folders and web pages. qt6-wayland lets the program run natively in a Wayland session (Debian's
# default desktop); without it Qt falls back to X11 through XWayland, so it is recommended, not required.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, qt6-wayland")
set(CPACK_STRIP_FILES ON)
include(CPack)
