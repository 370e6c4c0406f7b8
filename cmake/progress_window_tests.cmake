# Tests of the progress window. Those that make windows need an X display, so
# they form a binary of their own, labelled "display" (run under xvfb-run).
foreach(helper web_window_probe on_button_probe)
  target_link_libraries(${helper} PRIVATE bastion_objects)
endforeach()

file(GLOB display_test_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/display/*.cc)
bastion_wine_tests(bastion_display_tests
  SOURCES ${display_test_sources} ${PROJECT_SOURCE_DIR}/tests/win/test_main.cc
          ${PROJECT_SOURCE_DIR}/tests/win/process_runner.cc
  PROPERTIES LABELS display)
