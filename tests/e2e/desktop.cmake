# The tray program in a real X server (tests/e2e/desktop_e2e.sh). Not in the sanitizer builds: the
# uninstrumented desktop libraries are not theirs to check.
if(TARGET tarvik AND NOT TARVIK_SANITIZE AND NOT TARVIK_TSAN)
  add_test(NAME desktop_e2e COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/desktop_e2e.sh $<TARGET_FILE_DIR:tarvik>)
  set_tests_properties(desktop_e2e PROPERTIES LABELS "e2e;desktop" TIMEOUT 180 RUN_SERIAL TRUE)
endif()
