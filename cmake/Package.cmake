# What a Debian user finds installed beside the program, and the .deb that
# holds it (built with CPack's DEB generator: scripts/package).
#
#   bin/read-SCS1, bin/read-SCS1-plot
#   share/man/man1/read-SCS1.1.gz, read-SCS1-plot.1.gz   (gzip -9n, as Debian expects)
#   share/doc/read-scs1/copyright       the project's licence and the notice
#                                       of the f2c runtime linked into the program
#   share/doc/read-scs1/changelog.gz

set(_pkg_doc "${CMAKE_INSTALL_DATAROOTDIR}/doc/read-scs1")
set(_pkg_gen "${CMAKE_BINARY_DIR}/packaging")
file(MAKE_DIRECTORY "${_pkg_gen}")

# Compressed without a name or time stamp, so the bytes depend on the text
# only.
set(_pkg_gz "")
foreach(_in "man/read-SCS1.1" "man/read-SCS1-plot.1" "packaging/changelog")
  get_filename_component(_name "${_in}" NAME)
  set(_out "${_pkg_gen}/${_name}.gz")
  add_custom_command(OUTPUT "${_out}"
    COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh "${PROJECT_SOURCE_DIR}/${_in}" "${_out}"
    DEPENDS "${PROJECT_SOURCE_DIR}/${_in}" VERBATIM)
  list(APPEND _pkg_gz "${_out}")
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${_pkg_gz})

# The copyright file, in Debian's machine-readable format: the project's
# licence (LICENSE) and the runtime's notice, taken from the unpacked source
# package the program was built from.
function(_pkg_license_text file out_var)
  file(STRINGS "${file}" _lines)
  set(_text "")
  foreach(_line IN LISTS _lines)
    if(_line MATCHES "^[/*]+$")
      continue()  # the notice's comment frame
    endif()
    if(_line STREQUAL "")
      string(APPEND _text " .\n")
    else()
      string(APPEND _text " ${_line}\n")
    endif()
  endforeach()
  string(REGEX REPLACE "^( \\.\n)+" "" _text "${_text}")
  string(REGEX REPLACE "(\n \\.)+\n$" "\n" _text "${_text}")
  string(REGEX REPLACE "\n$" "" _text "${_text}")
  set(${out_var} "${_text}" PARENT_SCOPE)
endfunction()
_pkg_license_text("${PROJECT_SOURCE_DIR}/LICENSE" EXPAT_TEXT)
# The licence text alone: its title and copyright line are stated above.
string(REGEX REPLACE "^ MIT License\n \\.\n Copyright[^\n]*\n \\.\n" "" EXPAT_TEXT "${EXPAT_TEXT}")
_pkg_license_text("${_f2c_src}/Notice" LIBF2C_NOTICE)
file(STRINGS "${_f2c_src}/debian/changelog" _f2c_changelog LIMIT_COUNT 1)
string(REGEX MATCH "\\(([^)]+)\\)" _m "${_f2c_changelog}")
set(LIBF2C_VERSION "version ${CMAKE_MATCH_1}")
configure_file("${PROJECT_SOURCE_DIR}/packaging/copyright.in" "${_pkg_gen}/copyright" @ONLY)

install(PROGRAMS scripts/read-SCS1-plot DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(FILES "${_pkg_gen}/read-SCS1.1.gz" "${_pkg_gen}/read-SCS1-plot.1.gz"
        DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES "${_pkg_gen}/copyright" "${_pkg_gen}/changelog.gz" DESTINATION "${_pkg_doc}")

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME read-scs1)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "read-SCS1 developers <read-scs1@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS gnuplot)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert CDMG-type strong-motion records to CSV")
# The synopsis line comes from the summary; this is the long description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "read-SCS1 converts one three-component strong-motion acceleration record,
delivered as three single-component text files in the CDMG-type layout
(SCS1-N38W.txt, SCS1-S52W.txt and SCS1-UP.txt), into one CSV file that lists
every sample's time and its three accelerations side by side, in a fixed
40-character layout ready for analysis tools.
.
Every failure (a missing or short file, a value that is not a number or
does not fit, a full disk) stops the conversion with a report on standard
error. The package also holds read-SCS1-plot, which draws such a CSV file
as a PNG picture with gnuplot.")
include(CPack)
