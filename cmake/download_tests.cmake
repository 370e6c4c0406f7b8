# Download tests: the HTTPS test server fixture on 127.0.0.1:443, the tests
# that need it (tests/win_server/), and the download benchmark program.
target_link_libraries(trust_root_cert PRIVATE crypt32)

set(BASTION_TEST_SERVER_DIR ${CMAKE_BINARY_DIR}/testserver)
add_test(NAME download_server_start
         COMMAND ${PROJECT_SOURCE_DIR}/tools/test_server_fixture.sh start ${BASTION_TEST_SERVER_DIR}
                 ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:trust_root_cert>)
add_test(NAME download_server_stop
         COMMAND ${PROJECT_SOURCE_DIR}/tools/test_server_fixture.sh stop ${BASTION_TEST_SERVER_DIR})
set_tests_properties(download_server_start PROPERTIES FIXTURES_SETUP download_server
                     RESOURCE_LOCK port443 TIMEOUT 240 LABELS wine)
set_tests_properties(download_server_stop PROPERTIES FIXTURES_CLEANUP download_server
                     RESOURCE_LOCK port443 TIMEOUT 30 LABELS wine)

file(GLOB server_test_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/win_server/*.cc)
bastion_wine_tests(bastion_server_tests
  SOURCES ${server_test_sources} ${PROJECT_SOURCE_DIR}/tests/win/test_main.cc
          ${PROJECT_SOURCE_DIR}/tests/win/trace_recorder.cc
  PROPERTIES LABELS wine FIXTURES_REQUIRED download_server RESOURCE_LOCK port443)
target_link_libraries(bastion_server_tests PRIVATE crypt32)
target_compile_definitions(bastion_server_tests PRIVATE BASTION_TEST_SERVER_DIR="${BASTION_TEST_SERVER_DIR}")

add_executable(bench_download ${PROJECT_SOURCE_DIR}/tests/bench/bench_download.cc)
target_link_libraries(bench_download PRIVATE bastion_objects winhttp psapi)
set_target_properties(bench_download PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
