# Build rules of the Windows CE toolchain (cmake/wince-arm.cmake): objects through
# compile.py, the DLL straight from the cross linker, with no compiler driver and no runtime.
string(JOIN " " CMAKE_CXX_COMPILE_OBJECT ${BRINDLE_CE_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/compile.py
  ${BRINDLE_CE_TOOLS}-as <CMAKE_CXX_COMPILER> <DEFINES> <INCLUDES> <FLAGS> -o <OBJECT> -c <SOURCE>)
# The libraries as one group: the archives' order then does not matter. The import library a
# CE game links with comes out beside the DLL.
string(JOIN " " CMAKE_CXX_CREATE_SHARED_LIBRARY ${BRINDLE_CE_TOOLS}-ld <LINK_FLAGS> -o <TARGET>
  --out-implib <TARGET_IMPLIB> <OBJECTS> --start-group <LINK_LIBRARIES> --end-group)
set(CMAKE_RC_COMPILE_OBJECT
    "<CMAKE_RC_COMPILER> -O coff <DEFINES> <INCLUDES> <FLAGS> <SOURCE> <OBJECT>")
set(CMAKE_CXX_STANDARD_LIBRARIES "")
# A PE file is placed by its relocations, not by position-independent code (which on this ELF
# target would address data through a table the PE linker does not make).
set(CMAKE_CXX_COMPILE_OPTIONS_PIC "")
set(CMAKE_CXX_COMPILE_OPTIONS_PIE "")
set(CMAKE_SHARED_LIBRARY_CXX_FLAGS "")
# A .def source goes to the linker as it is, which takes it as the export list.
set(CMAKE_LINK_DEF_FILE_FLAG "")
