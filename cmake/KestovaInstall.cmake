# Installation and the Debian package.
#
# The program finds DATA.mdb and the manual beside itself, so everything it runs with lives in
# one folder, <prefix>/lib/kestova, and <prefix>/bin holds links to the three programs. The
# programs find libKTCOM.so beside themselves through their run path. The desktop entry, the
# icons and the AppStream metainfo go where desktops look for them.

set(KESTOVA_INSTALL_DIR lib/kestova)
set(kestova_programs Kestova kestova-drive-sim kestova-cli)

set_target_properties(${kestova_programs} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ${kestova_programs} RUNTIME DESTINATION ${KESTOVA_INSTALL_DIR})
install(TARGETS KTCOM LIBRARY DESTINATION ${KESTOVA_INSTALL_DIR} NAMELINK_SKIP)
install(FILES ${KESTOVA_DATA_MDB} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Kestova_sm31.pdf
        DESTINATION ${KESTOVA_INSTALL_DIR})

# Links in bin; installed as links, relative, so the tree can be moved.
set(link_dir ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${link_dir})
foreach(pair "kestova:Kestova" "kestova-drive-sim:kestova-drive-sim" "kestova-cli:kestova-cli")
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 name)
    list(GET pair 1 target)
    file(CREATE_LINK ../${KESTOVA_INSTALL_DIR}/${target} ${link_dir}/${name} SYMBOLIC)
    install(FILES ${link_dir}/${name} DESTINATION bin)
endforeach()

set(linux_dir ${CMAKE_SOURCE_DIR}/resources/linux)
install(FILES ${linux_dir}/io.kestova.Kestova.desktop DESTINATION share/applications)
install(FILES ${linux_dir}/io.kestova.Kestova.metainfo.xml DESTINATION share/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/resources/images/icon157.svg
        DESTINATION share/icons/hicolor/scalable/apps RENAME io.kestova.Kestova.svg)
install(DIRECTORY ${KESTOVA_ICON_DIR}/ DESTINATION share/icons/hicolor
        FILES_MATCHING PATTERN "*.png")

# The package's documentation as Debian wants it: the copyright in the machine-readable format,
# the changelog and a manual page per program, compressed to the full and without a time stamp
# (gzip -9n).
set(debian_dir ${CMAKE_SOURCE_DIR}/resources/debian)
set(package_doc ${CMAKE_BINARY_DIR}/package-doc)
set(package_doc_files "")
foreach(doc changelog man/kestova.1 man/kestova-cli.1 man/kestova-drive-sim.1)
    get_filename_component(name ${doc} NAME)
    add_custom_command(OUTPUT ${package_doc}/${name}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${package_doc}
        COMMAND ${CMAKE_COMMAND} -E copy ${debian_dir}/${doc} ${package_doc}/${name}
        COMMAND gzip -9nf ${package_doc}/${name}
        DEPENDS ${debian_dir}/${doc}
        VERBATIM)
    list(APPEND package_doc_files ${package_doc}/${name}.gz)
endforeach()
add_custom_target(kestova_package_doc ALL DEPENDS ${package_doc_files})
install(FILES ${debian_dir}/copyright ${package_doc}/changelog.gz DESTINATION share/doc/kestova)
install(FILES ${package_doc}/kestova.1.gz ${package_doc}/kestova-cli.1.gz
              ${package_doc}/kestova-drive-sim.1.gz
        DESTINATION share/man/man1)
install(FILES ${debian_dir}/lintian-overrides DESTINATION share/lintian/overrides RENAME kestova)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestova)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kestova developers <dev@kestova.io>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tuning and configuration tool for closed-loop stepper and servo drives")
# One string: separate quoted arguments would make a list, joined with ";" in the control file.
# Lines of at most 80 characters, as Debian wants them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Kestova connects to a closed-loop stepper or servo drive over Modbus RTU,\n"
    "reads and edits its parameters, stores them, saves and loads parameter\n"
    "files, explains alarms and runs motion tests with a four-channel\n"
    "oscilloscope. A simulated drive and a command-line tool come with it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's platform plugins (the window system and offscreen) and a font are not found through the
# libraries the programs link.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
