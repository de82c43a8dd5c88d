# The shipped executable: 32-bit Windows, which 64-bit Windows runs too.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
