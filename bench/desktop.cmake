# bench_desktop: the tray program in Xvfb with the trayer tray host: time from start to a docked icon
# and resident memory while idle. Run by hand; it is not a test.
find_package(PkgConfig REQUIRED)
pkg_check_modules(BENCH_XCB REQUIRED IMPORTED_TARGET xcb)
add_executable(bench_desktop ${CMAKE_CURRENT_LIST_DIR}/DesktopBench.cpp)
target_link_libraries(bench_desktop PRIVATE PkgConfig::BENCH_XCB tarvik_test_support Threads::Threads)
set_target_properties(bench_desktop PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
target_compile_definitions(bench_desktop PRIVATE TARVIK_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
if(TARGET tarvik)
  add_dependencies(bench_desktop tarvik)
endif()
