# The f2c runtime (libf2c), the program's record I/O runtime, built from
# Debian's own source package and linked statically.
#
# Debian's binary libf2c2-dev is compiled without WANT_LEAD_0 and so drops the
# 0 before the decimal point ("   .020" instead of "  0.020"), which would
# corrupt both the console echo and every CSV field below 1. Hence this build.
#
# The source is fetched once into the build tree and reused by every later
# configure and build there. LIBF2C_SOURCE_DIR may point at an unpacked libf2c
# source tree instead, for machines without apt or to share one download
# between several build trees.
#
# Defines the static library target f2c_runtime, whose include directory
# holds f2c.h.

set(LIBF2C_SOURCE_DIR "" CACHE PATH
    "Unpacked libf2c source tree; empty to fetch Debian's source package into the build tree")
set(LIBF2C_EXTRA_C_FLAGS "" CACHE STRING
    "Extra C compiler flags for the f2c runtime (for example sanitizer flags)")

set(_f2c_fetch_dir "${CMAKE_BINARY_DIR}/_deps/libf2c")
if(LIBF2C_SOURCE_DIR)
  set(_f2c_src "${LIBF2C_SOURCE_DIR}")
elseif(EXISTS "${_f2c_fetch_dir}/source/f2c.h0")
  set(_f2c_src "${_f2c_fetch_dir}/source")
else()
  message(STATUS "Fetching Debian's libf2c2 source package")
  execute_process(
    COMMAND bash "${PROJECT_SOURCE_DIR}/scripts/fetch-libf2c-source" "${_f2c_fetch_dir}"
    RESULT_VARIABLE _f2c_fetch_rc
    OUTPUT_VARIABLE _f2c_fetch_out
    ERROR_VARIABLE _f2c_fetch_err)
  if(NOT _f2c_fetch_rc EQUAL 0)
    message(FATAL_ERROR "Could not fetch the libf2c2 source package:\n${_f2c_fetch_err}\n"
                        "Set LIBF2C_SOURCE_DIR to an unpacked libf2c source tree instead.")
  endif()
  set(_f2c_src "${_f2c_fetch_dir}/source")
endif()
if(NOT EXISTS "${_f2c_src}/f2c.h0" OR NOT EXISTS "${_f2c_src}/arithchk.c")
  message(FATAL_ERROR "${_f2c_src} does not look like a libf2c source tree (no f2c.h0, arithchk.c)")
endif()

# Compiler flags as Debian builds the library, plus WANT_LEAD_0. _GNU_SOURCE
# makes the library see every C library declaration it uses: under -ansi an
# undeclared fdopen would return an int and cut FILE pointers to 32 bits.
set(_f2c_defs -D_GNU_SOURCE -DNON_UNIX_STDIO -Df2c -DWANT_LEAD_0 -DSkip_f2c_Undefs)
set(_f2c_cflags -ansi -O2 -w ${_f2c_defs})
separate_arguments(_f2c_extra UNIX_COMMAND "${LIBF2C_EXTRA_C_FLAGS}")
# A sanitizer build instruments the runtime too, except for the alignment
# check: the runtime stores every list-read item through a pointer to a
# union that holds a double, so each 4-byte real at an address that is not a
# multiple of 8 counts as misaligned, although only its 4-byte member is
# touched.
if(READ_SCS1_SANITIZE)
  list(PREPEND _f2c_extra ${READ_SCS1_SANITIZER_FLAGS} -fno-sanitize=alignment)
endif()

# Generated headers, made as the library's own makefile makes them: f2c.h,
# signal1.h and sysdep1.h are copies of their .h0 templates; arith.h is what
# arithchk prints about this machine's arithmetic.
set(_f2c_gen "${CMAKE_BINARY_DIR}/_deps/libf2c/include")
file(MAKE_DIRECTORY "${_f2c_gen}")
foreach(_h f2c signal1 sysdep1)
  configure_file("${_f2c_src}/${_h}.h0" "${_f2c_gen}/${_h}.h" COPYONLY)
endforeach()
if(NOT EXISTS "${_f2c_gen}/arith.h")
  set(_arithchk "${CMAKE_BINARY_DIR}/_deps/libf2c/arithchk")
  execute_process(
    COMMAND "${CMAKE_C_COMPILER}" ${_f2c_cflags} -DNO_FPINIT "${_f2c_src}/arithchk.c" -lm -o "${_arithchk}"
    RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    execute_process(
      COMMAND "${CMAKE_C_COMPILER}" ${_f2c_cflags} -DNO_LONG_LONG -DNO_FPINIT "${_f2c_src}/arithchk.c" -lm -o "${_arithchk}"
      RESULT_VARIABLE _rc)
  endif()
  if(_rc EQUAL 0)
    execute_process(COMMAND "${_arithchk}" OUTPUT_FILE "${_f2c_gen}/arith.h" RESULT_VARIABLE _rc)
  endif()
  if(NOT _rc EQUAL 0)
    file(REMOVE "${_f2c_gen}/arith.h")
    message(FATAL_ERROR "Could not generate libf2c's arith.h")
  endif()
endif()

# The parts of the runtime the program uses: start-up, signal handling and
# stop (MISC), text assignment (CHAR), and all of record I/O (I77). The
# archive only lends the linker what the program references.
set(_f2c_units
  # MISC
  f77vers i77vers main s_rnge abort_ exit_ getarg_ iargc_ getenv_ signal_
  s_stop s_paus system_ cabs ctype derf_ derfc_ erf_ erfc_ sig_die uninit
  # CHAR
  f77_aloc s_cat s_cmp s_copy
  # I77
  backspac close dfe dolio due endfile err fmt fmtlib ftell_ iio ilnw
  inquire lread lwrite open rdfmt rewind rsfe rsli rsne sfe sue typesize
  uio util wref wrtfmt wsfe wsle wsne xwsne)
# The project's patch series (cmake/libf2c-patches/series) is applied to a
# copy of the source in the build tree, the way a distribution carries
# patches. "fix" patches go into every runtime built here; "speed" patches
# only where LIBF2C_SPEED_PATCHES is ON. Two runtimes are built:
#   f2c_runtime            the one the program links: fixes, and the speed
#                          patches unless LIBF2C_SPEED_PATCHES is OFF;
#   f2c_runtime_reference  fixes only, for the reference program the tests
#                          and the benchmark compare the program with.
option(LIBF2C_SPEED_PATCHES "Apply the runtime's speed patches (the fixes are always applied)" ON)
set(_f2c_patch_dir "${PROJECT_SOURCE_DIR}/cmake/libf2c-patches")
file(STRINGS "${_f2c_patch_dir}/series" _f2c_series REGEX "^[^#]")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_f2c_patch_dir}/series")

# Copies the source to DIR and applies the series' patches of the given
# kinds, unless DIR already holds exactly that (a stamp of the source path and
# the patches' contents). A patch that does not apply stops the configure.
function(libf2c_patched_tree dir kinds)
  set(_stamp_text "${_f2c_src}\n")
  set(_patches "")
  foreach(_line ${_f2c_series})
    string(REGEX MATCH "^([^ \t]+)[ \t]+([a-z]+)" _m "${_line}")
    if(NOT _m)
      message(FATAL_ERROR "cmake/libf2c-patches/series: cannot read the line '${_line}'")
    endif()
    set(_file "${CMAKE_MATCH_1}")
    set(_kind "${CMAKE_MATCH_2}")
    if(NOT _kind STREQUAL "fix" AND NOT _kind STREQUAL "speed")
      message(FATAL_ERROR "cmake/libf2c-patches/series: ${_file} has the kind '${_kind}', not fix or speed")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_f2c_patch_dir}/${_file}")
    if(_kind IN_LIST kinds)
      file(SHA256 "${_f2c_patch_dir}/${_file}" _sum)
      string(APPEND _stamp_text "${_file} ${_sum}\n")
      list(APPEND _patches "${_file}")
    endif()
  endforeach()
  if(EXISTS "${dir}/.patched" )
    file(READ "${dir}/.patched" _old_stamp)
    if(_old_stamp STREQUAL _stamp_text)
      return()
    endif()
  endif()
  file(REMOVE_RECURSE "${dir}")
  file(COPY "${_f2c_src}/" DESTINATION "${dir}" PATTERN "debian" EXCLUDE)
  find_program(PATCH_EXECUTABLE patch REQUIRED)
  foreach(_file ${_patches})
    execute_process(
      COMMAND "${PATCH_EXECUTABLE}" -p1 --forward --batch --silent --no-backup-if-mismatch
              --reject-file=- -d "${dir}" -i "${_f2c_patch_dir}/${_file}"
      RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _out)
    if(NOT _rc EQUAL 0)
      message(FATAL_ERROR "The runtime patch ${_file} does not apply to ${_f2c_src}:\n${_out}")
    endif()
  endforeach()
  file(WRITE "${dir}/.patched" "${_stamp_text}")
endfunction()

set(_f2c_tree "${CMAKE_BINARY_DIR}/_deps/libf2c/tree")
set(_f2c_reference_tree "${CMAKE_BINARY_DIR}/_deps/libf2c/tree-reference")
if(LIBF2C_SPEED_PATCHES)
  libf2c_patched_tree("${_f2c_tree}" "fix;speed")
else()
  libf2c_patched_tree("${_f2c_tree}" "fix")
endif()
libf2c_patched_tree("${_f2c_reference_tree}" "fix")

set(LIBF2C_C_FLAGS ${_f2c_cflags} ${_f2c_extra})
function(libf2c_runtime target tree)
  set(_sources "")
  foreach(_u ${_f2c_units})
    list(APPEND _sources "${tree}/${_u}.c")
  endforeach()
  add_library(${target} STATIC ${_sources})
  # Generated headers first, so they win over any stale copy in the tree.
  target_include_directories(${target} BEFORE PRIVATE "${_f2c_gen}" "${tree}")
  target_include_directories(${target} INTERFACE "${_f2c_gen}")
  target_compile_options(${target} PRIVATE ${LIBF2C_C_FLAGS})
  target_link_libraries(${target} INTERFACE m)
endfunction()
libf2c_runtime(f2c_runtime "${_f2c_tree}")
libf2c_runtime(f2c_runtime_reference "${_f2c_reference_tree}")

# The runtime's start-up (main.c of the tree the program links), for a
# harness that runs the program's start-up under a main of its own
# (tests/fuzz/afl), compiled with LIBF2C_C_FLAGS.
set(LIBF2C_STARTUP_SOURCE "${_f2c_tree}/main.c")
set(LIBF2C_INCLUDE_DIRS "${_f2c_gen}" "${_f2c_tree}")

# The runtime's headers, its internal fio.h included (its unit table and
# fatal-error entry), for the one translation unit that wraps the runtime.
# Headers only: the program links one runtime or the other.
add_library(f2c_runtime_internals INTERFACE)
target_include_directories(f2c_runtime_internals INTERFACE "${_f2c_gen}" "${_f2c_tree}")
