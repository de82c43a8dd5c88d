# The Windows program under wine next to bare Win32 windows showing the same pictures
# (scripts/bench runs them).
add_executable(win32_floor WIN32 ${CMAKE_CURRENT_LIST_DIR}/win32_floor.cpp)
target_include_directories(win32_floor PRIVATE $<TARGET_PROPERTY:forms_windows,INTERFACE_INCLUDE_DIRECTORIES>)
add_dependencies(win32_floor forms_windows)  # which generates the pictures' headers
target_link_libraries(win32_floor PRIVATE ole32 oleaut32 shlwapi uuid)
target_link_options(win32_floor PRIVATE -s)

add_executable(win32_bench ${CMAKE_CURRENT_LIST_DIR}/win32_bench.cpp)
target_include_directories(win32_bench PRIVATE $<TARGET_PROPERTY:forms_windows,INTERFACE_INCLUDE_DIRECTORIES>)
add_dependencies(win32_bench forms_windows)
target_link_libraries(win32_bench PRIVATE psapi)
target_link_options(win32_bench PRIVATE -municode)  # wmain
set_target_properties(win32_floor win32_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bench)

# Benchmarks are not tests: this only checks that the Windows one builds and runs once.
if(BUILD_TESTING)
    add_test(NAME WindowsBenchmarksRunOnce COMMAND ${PROJECT_SOURCE_DIR}/scripts/bench --quick ${PROJECT_BINARY_DIR})
    set_tests_properties(WindowsBenchmarksRunOnce PROPERTIES LABELS bench TIMEOUT 180)
endif()
