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
# One fix to the runtime, made on a copy in the build tree. Its list reader
# classifies each input byte through a table of 128 + 1 entries (EOF and
# ASCII), but looks bytes from 128 to 255 up in it too: a byte such as 0xE9
# right after a number read up to 127 bytes past the table's end. The table
# grows to every byte value; the new entries are 0 (no separator, sign or
# exponent letter), which is what those bytes are.
file(READ "${_f2c_src}/lread.c" _lread)
string(REPLACE "char f__ltab[128+1] = {" "char f__ltab[256+1] = {" _lread_fixed "${_lread}")
if(_lread_fixed STREQUAL _lread)
  message(FATAL_ERROR "libf2c's lread.c has no 'char f__ltab[128+1]' table to widen; check the fix")
endif()
file(WRITE "${_f2c_gen}/fixed/lread.c.new" "${_lread_fixed}")
configure_file("${_f2c_gen}/fixed/lread.c.new" "${_f2c_gen}/fixed/lread.c" COPYONLY)

set(_f2c_sources "")
foreach(_u ${_f2c_units})
  if(_u STREQUAL "lread")
    list(APPEND _f2c_sources "${_f2c_gen}/fixed/lread.c")
  else()
    list(APPEND _f2c_sources "${_f2c_src}/${_u}.c")
  endif()
endforeach()

add_library(f2c_runtime STATIC ${_f2c_sources})
# Generated headers first, so they win over any stale copy in the source tree.
target_include_directories(f2c_runtime BEFORE PRIVATE "${_f2c_gen}" "${_f2c_src}")
target_include_directories(f2c_runtime INTERFACE "${_f2c_gen}")

# The runtime's internal header fio.h (its unit table and fatal-error entry),
# for the one translation unit that wraps the runtime.
add_library(f2c_runtime_internals INTERFACE)
target_include_directories(f2c_runtime_internals INTERFACE "${_f2c_src}")
target_link_libraries(f2c_runtime_internals INTERFACE f2c_runtime)
target_compile_options(f2c_runtime PRIVATE ${_f2c_cflags} ${_f2c_extra})
target_link_libraries(f2c_runtime INTERFACE m)
