# The Windows program's launch to first paint, next to a bare Win32 window showing the same picture
# (bench/win32_first_paint.sh runs them).
add_executable(win32_floor WIN32 ${CMAKE_CURRENT_LIST_DIR}/win32_floor.cpp)
target_include_directories(win32_floor PRIVATE $<TARGET_PROPERTY:forms_windows,INTERFACE_INCLUDE_DIRECTORIES>)
add_dependencies(win32_floor forms_windows)  # which generates the picture's header
target_link_libraries(win32_floor PRIVATE ole32 oleaut32 shlwapi uuid)
target_link_options(win32_floor PRIVATE -s)

add_executable(win32_first_paint ${CMAKE_CURRENT_LIST_DIR}/win32_first_paint.cpp)
target_link_options(win32_first_paint PRIVATE -municode)  # wmain
set_target_properties(win32_floor win32_first_paint PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bench)
