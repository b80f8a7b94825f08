# bench_desktop: the tray program in Xvfb with the trayer tray host: time from start to a docked icon
# and resident memory while idle. Run by hand; it is not a test.
find_package(PkgConfig REQUIRED)
pkg_check_modules(BENCH_XCB REQUIRED IMPORTED_TARGET xcb)
tarvik_add_bench(bench_desktop SOURCES ${CMAKE_CURRENT_LIST_DIR}/DesktopBench.cpp LIBS PkgConfig::BENCH_XCB)
