# Trust inputs of the product: the pinned publisher certificates compiled
# in, the host stamping tool, the unconfigured blob every signed exe gets,
# and the stamped stubs the Wine tests run.
include(ExternalProject)

set(BASTION_PINNED_CERTS "${BASTION_TEST_PKI}/publisher1.pem;${BASTION_TEST_PKI}/publisher2.pem"
    CACHE STRING "The two PEM certificates (\";\"-separated, in order) whose keys may sign the configuration")
set(BASTION_PINNED_PATHS "")
foreach(pem ${BASTION_PINNED_CERTS})
  get_filename_component(pem ${pem} ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
  list(APPEND BASTION_PINNED_PATHS ${pem})
endforeach()
list(LENGTH BASTION_PINNED_PATHS pinned_count)
if(NOT pinned_count EQUAL 2)
  message(FATAL_ERROR "BASTION_PINNED_CERTS must name two PEM certificates, not ${pinned_count}")
endif()
get_filename_component(test_pki ${BASTION_TEST_PKI} ABSOLUTE)
set(BASTION_DEFAULT_PINNED ${test_pki}/publisher1.pem ${test_pki}/publisher2.pem)
if(BASTION_PINNED_PATHS STREQUAL BASTION_DEFAULT_PINNED)
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tools/make_test_pki.sh ${BASTION_TEST_PKI}
                  RESULT_VARIABLE pki_result)
  if(NOT pki_result EQUAL 0)
    message(FATAL_ERROR "Could not make the test PKI in ${BASTION_TEST_PKI}")
  endif()
  set(BASTION_PINNED_ARE_TEST_PKI 1)
else()
  set(BASTION_PINNED_ARE_TEST_PKI 0)
endif()

# Each certificate as one line: header, Base64 body without breaks, footer.
set(BASTION_PINNED_LINES "")
foreach(pem ${BASTION_PINNED_PATHS})
  if(NOT EXISTS ${pem})
    message(FATAL_ERROR "Pinned certificate ${pem} does not exist")
  endif()
  file(READ ${pem} text)
  string(REGEX MATCH "-----BEGIN CERTIFICATE-----([A-Za-z0-9+/=\r\n]+)-----END CERTIFICATE-----" found "${text}")
  if(NOT found)
    message(FATAL_ERROR "${pem} holds no PEM certificate")
  endif()
  string(REGEX REPLACE "[\r\n]" "" body "${CMAKE_MATCH_1}")
  string(APPEND BASTION_PINNED_LINES "    \"-----BEGIN CERTIFICATE-----${body}-----END CERTIFICATE-----\",\n")
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${BASTION_PINNED_PATHS})
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/verification/pinned_certificates.inc
     CONTENT "// Generated from BASTION_PINNED_CERTS; do not edit.\nconstexpr const char* kPinnedCertificates[2] = {\n${BASTION_PINNED_LINES}};\n"
     @ONLY)

# The stamping tool, built for the host by the host compiler.
set(BASTION_STAMP ${CMAKE_BINARY_DIR}/host-tools/bastion_stamp)
ExternalProject_Add(bastion_stamp_tool
  SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools
  BINARY_DIR ${CMAKE_BINARY_DIR}/host-tools
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${BASTION_STAMP})

# After signing: begin marker, the unconfigured filler, end marker, padding,
# inside the signature's certificate entry.
add_dependencies(BastionSetup bastion_stamp_tool)
add_custom_command(TARGET BastionSetup POST_BUILD
  COMMAND ${BASTION_STAMP} unstamp $<TARGET_FILE:BastionSetup> $<TARGET_FILE:BastionSetup>
  VERBATIM)

if(TARGET bastion_tests)
  set(fixtures ${CMAKE_BINARY_DIR}/tests/trust)
  set(fixture_script ${PROJECT_SOURCE_DIR}/tests/win/make_trust_fixtures.sh)
  add_custom_command(OUTPUT ${fixtures}/done
    COMMAND ${fixture_script} ${BASTION_STAMP} ${BASTION_TEST_PKI} $<TARGET_FILE:BastionSetup> ${fixtures}
            ${BASTION_PINNED_PATHS}
    DEPENDS ${fixture_script} BastionSetup bastion_stamp_tool ${BASTION_PINNED_PATHS}
    VERBATIM)
  add_custom_target(bastion_trust_fixtures DEPENDS ${fixtures}/done)
  add_dependencies(bastion_tests bastion_trust_fixtures)
  target_link_libraries(bastion_tests PRIVATE crypt32)
  target_compile_definitions(bastion_tests PRIVATE
    BASTION_PINNED_ARE_TEST_PKI=${BASTION_PINNED_ARE_TEST_PKI})
endif()

if(TARGET bastion_tests)
  # The tool's command line against the signed product; runs on the host.
  add_test(NAME StampToolCommandLine
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/native/stamp_tool_test.sh ${BASTION_STAMP}
                   $<TARGET_FILE:BastionSetup> ${BASTION_TEST_PKI})
  set_tests_properties(StampToolCommandLine PROPERTIES LABELS host TIMEOUT 120)
endif()
