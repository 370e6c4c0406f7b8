# Inputs of the trust tests: signed configurations and stamped copies of the
# product the tests run (the product, or in a site's own build its twin with
# the test PKI), made on the host.
if(TARGET bastion_tests)
  set(fixtures ${CMAKE_BINARY_DIR}/tests/trust)
  set(fixture_script ${PROJECT_SOURCE_DIR}/tests/win/make_trust_fixtures.sh)
  add_custom_command(OUTPUT ${fixtures}/done
    COMMAND ${fixture_script} ${BASTION_STAMP} ${BASTION_TEST_PKI} $<TARGET_FILE:${BASTION_TESTED_PRODUCT}>
            ${fixtures} ${BASTION_TEST_PINNED}
    DEPENDS ${fixture_script} ${BASTION_TESTED_PRODUCT} bastion_stamp_tool ${BASTION_TEST_PINNED}
    VERBATIM)
  add_custom_target(bastion_trust_fixtures DEPENDS ${fixtures}/done)
  add_dependencies(bastion_tests bastion_trust_fixtures)
  target_link_libraries(bastion_tests PRIVATE crypt32)
  # The test binaries always carry the test PKI's pins.
  target_compile_definitions(bastion_tests PRIVATE BASTION_PINNED_ARE_TEST_PKI=1)

  # The tool's command line, and signing outside the build, on the tested
  # product; runs on the host (and the stub's -v under Wine).
  add_test(NAME StampToolCommandLine
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/native/stamp_tool_test.sh ${BASTION_STAMP}
                   $<TARGET_FILE:${BASTION_TESTED_PRODUCT}> ${BASTION_TEST_PKI})
  set_tests_properties(StampToolCommandLine PROPERTIES LABELS host TIMEOUT 300)
endif()
