# Installs a Windows build into a fresh prefix and builds Stackfall against it with the same
# mingw-w64 toolchain, as a game's developer would.
#   cmake -DBUILD=<build tree> -DTOOLCHAIN=<toolchain file> -DOUT=<folder> -P build_game.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${OUT}/prefix
  --component library COMMAND_ERROR_IS_FATAL ANY)
# The toolchain searches packages only under its own root, so the package is named directly.
execute_process(COMMAND ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${OUT}/build -G Ninja
  --toolchain ${TOOLCHAIN} -DBrindle_DIR=${OUT}/prefix/lib/cmake/Brindle
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${OUT}/build COMMAND_ERROR_IS_FATAL ANY)
