# What `cmake --install` puts where, and the Debian package made from it
# (scripts/package.sh runs cpack). The programs look for their fonts in
# share/draftwell/fonts beside bin/, so those two places are fixed.
set(DRAFTWELL_SHARE share)
set(DRAFTWELL_DOC share/doc/draftwell)
set(DRAFTWELL_MAN1 share/man/man1)
set(SRC "${CMAKE_SOURCE_DIR}")

install(TARGETS draftwell draftwell-cli RUNTIME DESTINATION bin)
# draftwell-cli starts it for the commands that paint.
install(TARGETS draftwell-cli-pictures RUNTIME DESTINATION libexec/draftwell)
install(DIRECTORY "${DRAFTWELL_BUNDLED_FONTS_DIR}/" DESTINATION ${DRAFTWELL_SHARE}/draftwell/fonts
        FILES_MATCHING PATTERN "*.shx" PATTERN "NOTICE")

install(FILES "${SRC}/desktop/draftwell.desktop" DESTINATION ${DRAFTWELL_SHARE}/applications)
install(FILES "${SRC}/desktop/draftwell.xml" DESTINATION ${DRAFTWELL_SHARE}/mime/packages)
install(FILES "${SRC}/desktop/draftwell.thumbnailer" DESTINATION ${DRAFTWELL_SHARE}/thumbnailers)
install(FILES "${SRC}/desktop/org.draftwell.Draftwell.metainfo.xml" DESTINATION ${DRAFTWELL_SHARE}/metainfo)
install(FILES "${SRC}/desktop/draftwell.svg" DESTINATION ${DRAFTWELL_SHARE}/icons/hicolor/scalable/apps)
foreach(size IN LISTS DRAFTWELL_ICON_SIZES)
  install(FILES "${DRAFTWELL_ICONS_DIR}/${size}x${size}/draftwell.png"
          DESTINATION ${DRAFTWELL_SHARE}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES "${SRC}/desktop/draftwell-cli.bash-completion"
        DESTINATION ${DRAFTWELL_SHARE}/bash-completion/completions RENAME draftwell-cli)

# Manual pages and the changelog compressed as Debian wants them (no name or time
# in the gzip header, so that builds are reproducible).
find_program(DRAFTWELL_GZIP gzip REQUIRED)
set(compressed "")
foreach(pair "doc/man/draftwell.1:man/draftwell.1.gz" "doc/man/draftwell-cli.1:man/draftwell-cli.1.gz"
             "packaging/changelog:doc/changelog.gz")
  string(REPLACE ":" ";" parts "${pair}")
  list(GET parts 0 in)
  list(GET parts 1 out)
  add_custom_command(OUTPUT "${CMAKE_BINARY_DIR}/${out}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/man" "${CMAKE_BINARY_DIR}/doc"
    COMMAND sh -c "\"$0\" -9n -c \"$1\" > \"$2\"" "${DRAFTWELL_GZIP}" "${SRC}/${in}" "${CMAKE_BINARY_DIR}/${out}"
    DEPENDS "${SRC}/${in}"
    VERBATIM)
  list(APPEND compressed "${CMAKE_BINARY_DIR}/${out}")
endforeach()
add_custom_target(draftwell_compressed_docs ALL DEPENDS ${compressed})
install(FILES "${CMAKE_BINARY_DIR}/man/draftwell.1.gz" "${CMAKE_BINARY_DIR}/man/draftwell-cli.1.gz"
        DESTINATION ${DRAFTWELL_MAN1})
install(FILES "${SRC}/packaging/copyright" "${CMAKE_BINARY_DIR}/doc/changelog.gz" DESTINATION ${DRAFTWELL_DOC})

# ---- the Debian package (cpack -G DEB)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME draftwell)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Draftwell")
set(CPACK_PACKAGE_CONTACT "Draftwell maintainers <maintainers@draftwell.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# CPack indents the extended description itself and writes an empty line as " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "CAD drawing viewer and editor for DWG, DXF and plot files
Draftwell opens CAD drawings (DWG and DWT R9 to R2018, DXF text and binary)
and HPGL/2, HP RTL and PCL plot files, and shows them as they were drawn:
curves, SHX and TrueType text, hatches, dimensions, linetypes, blocks and
paper layouts with their viewports. Entities can be selected and edited.

The package holds the editor (draftwell), registered for the drawing file
types with thumbnails for file managers, and the command-line tool
draftwell-cli, which describes, draws and thumbnails drawings without a
display.")
include(CPack)
