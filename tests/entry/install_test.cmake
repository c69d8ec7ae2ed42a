# Installs the library component of the build tree into a fresh prefix, builds the example game
# against it with find_package(Brindle) (shared and static) and a one-file game with pkg-config,
# and runs them without a terminal: the dialog cannot be drawn, so each call returns 0 cleanly.
#   cmake -DBUILD_DIR=... -DEXAMPLE_DIR=... -DWORK_DIR=... -DGENERATOR=... -DCXX=...
#         -DPKG_CONFIG=... -DSANITIZE=ON|OFF -P install_test.cmake
cmake_minimum_required(VERSION 3.25)

foreach(var BUILD_DIR EXAMPLE_DIR WORK_DIR GENERATOR CXX)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
endfunction()

# Runs a game with stdin and stdout not a terminal; it must exit 0 and say so. With a game
# name the dialog is tried and refused with a message; without one nothing at all is shown.
function(play game)
  execute_process(COMMAND ${game} ${ARGN} INPUT_FILE /dev/null RESULT_VARIABLE rc
    OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 30)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "SendHighScore returned 0")
    message(FATAL_ERROR "${game} ${ARGN}: exit ${rc}\n${out}\n${err}")
  endif()
  if("--anonymous" IN_LIST ARGN)
    if(NOT err STREQUAL "")
      message(FATAL_ERROR "${game} ${ARGN}: a call without a game name showed: ${err}")
    endif()
  elseif(err STREQUAL "")
    message(FATAL_ERROR "${game} ${ARGN}: the dialog was not even tried")
  endif()
  message(STATUS "${game} ${ARGN}: ${out}${err}")
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component library)

file(GLOB_RECURSE headers RELATIVE ${prefix} ${prefix}/include/*)
if(NOT headers STREQUAL "include/brindle/brindle.h")
  message(FATAL_ERROR "only the public header is to be installed, found: ${headers}")
endif()

# An instrumented library needs the sanitizer runtimes in the game as well.
set(flags "")
if(SANITIZE)
  set(flags "-fsanitize=address,undefined")
  set(ENV{ASAN_OPTIONS} "detect_leaks=0")
endif()

foreach(static OFF ON)
  set(build ${WORK_DIR}/example-static-${static})
  run(${CMAKE_COMMAND} -S ${EXAMPLE_DIR} -B ${build} -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix} -DEXAMPLE_STATIC=${static}
    "-DCMAKE_EXE_LINKER_FLAGS=${flags}")
  run(${CMAKE_COMMAND} --build ${build})
  play(${build}/highscore_game 1234)
  play(${build}/highscore_game --anonymous)
endforeach()

if(PKG_CONFIG)
  file(GLOB pc_dir LIST_DIRECTORIES true ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "${pc_dir}")
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs brindle RESULT_VARIABLE rc
    OUTPUT_VARIABLE pc_flags OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know brindle (PKG_CONFIG_PATH=${pc_dir})")
  endif()
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  set(game ${WORK_DIR}/pc_game)
  set(pc_libdir "")
  foreach(flag IN LISTS pc_flags)
    if(flag MATCHES "^-L(.*)")
      set(pc_libdir ${CMAKE_MATCH_1})
    endif()
  endforeach()
  run(${CXX} ${EXAMPLE_DIR}/highscore_game.cpp -o ${game} ${pc_flags} ${flags}
    -Wl,-rpath,${pc_libdir})
  play(${game} 99)
  play(${game} --anonymous)
endif()
