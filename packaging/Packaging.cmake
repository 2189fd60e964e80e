# What the project installs and how CPack makes the Debian package of it. Included at the end of
# the top-level CMakeLists.txt, once every executable is defined.

include(GNUInstallDirs)

set(package_name rs232c-tester)
set(package_source ${CMAKE_SOURCE_DIR}/packaging)
set(package_build ${CMAKE_BINARY_DIR}/packaging)

# Every program the package holds, with the one-line summary of its manual page. A program whose
# target this tree does not define is left out.
set(man_summary_rs232c-tester "test the protocol of a device on a serial (RS-232C) line")
set(man_summary_rs232c "RS-232C protocol tester for the command line")
# rs232c's page holds every command's help, not the overview alone.
set(man_help_rs232c --help-all)
set(installed_programs)
foreach(program IN ITEMS rs232c-tester rs232c)
  if(TARGET ${program})
    list(APPEND installed_programs ${program})
  endif()
endforeach()

# scripts/run builds these and nothing else.
add_custom_target(programs)
add_dependencies(programs ${installed_programs})

# The window icon is drawn once, as the SVG the desktop installs. Qt reads SVG only through the
# plugin of its SVG module, which the Qt base libraries do not bring, so the program carries PNGs
# rendered from it instead.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(icon_pngs)
foreach(size IN ITEMS 16 24 32 48 64 128 256)
  set(png ${package_build}/icon/${package_name}-${size}.png)
  add_custom_command(
    OUTPUT ${png}
    COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --output=${png}
            ${package_source}/${package_name}.svg
    DEPENDS ${package_source}/${package_name}.svg
    VERBATIM)
  list(APPEND icon_pngs ${png})
endforeach()
qt_add_resources(rs232c-tester window_icon PREFIX /icon BASE ${package_build}/icon
                 FILES ${icon_pngs})

# Manual pages come from each program's own --help and --version, so they cannot fall behind.
find_program(HELP2MAN help2man REQUIRED)
set(man_pages)
foreach(program IN LISTS installed_programs)
  set(page ${package_build}/man/${program}.1.gz)
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${HELP2MAN} -DPROGRAM=$<TARGET_FILE:${program}>
            -DSUMMARY=${man_summary_${program}} -DHELP_OPTION=${man_help_${program}}
            -DOUTPUT=${page}
            -P ${package_source}/ManPage.cmake
    DEPENDS ${program} ${package_source}/ManPage.cmake
    VERBATIM)
  list(APPEND man_pages ${page})
endforeach()

# Debian wants the changelog compressed at the highest level and without a time stamp.
set(changelog ${package_build}/changelog.gz)
add_custom_command(
  OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E copy ${package_source}/changelog ${package_build}/changelog
  COMMAND gzip -9nf ${package_build}/changelog
  DEPENDS ${package_source}/changelog
  VERBATIM)
add_custom_target(docs ALL DEPENDS ${man_pages} ${changelog})

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                                GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${package_name})
install(TARGETS ${installed_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (cpack, cmake --install --strip) also drops the compiler's notes, as
# Debian's own packages do.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program IN ITEMS ${installed_programs})
      execute_process(
        COMMAND ${CMAKE_STRIP} --remove-section=.comment --remove-section=.note
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${package_source}/${package_name}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${package_source}/${package_name}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${package_source}/copyright ${changelog}
        DESTINATION ${doc_dir})
# The README links to these beside it, as in the source tree.
file(GLOB doc_pages CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md)
install(FILES ${doc_pages} DESTINATION ${doc_dir}/docs)

# For scripts/test and scripts/package: the programs the package must hold.
file(GENERATE OUTPUT ${package_build}/programs CONTENT "$<JOIN:${installed_programs},\n>\n")

set(RS232C_PACKAGE_MAINTAINER
    "the RS-232C protocol tester developers <maintainers@users.noreply.c-seed-917d872b.example>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${package_name})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tester for serial (RS-232C) device protocols")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[
Pick a serial port and a speed, open one of three protocol consoles (Loader,
Dedicated, User Define) and type a message: the tester frames it with control
characters and sum-check digits, sends it, collects the reply for a fixed
number of polls and classifies it as ACK, NAK, no reply or anything else.
Replies and a coloured history show as characters (code page 949) or as hex
digits.

A demo mode answers on simulated devices, so no hardware is needed to try it.]])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${RS232C_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The windows ask for NanumGothic in place of the Korean system font and show control bytes as
# control pictures, which Symbola draws; without them other fonts, or empty boxes, stand in.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-nanum, fonts-symbola")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
