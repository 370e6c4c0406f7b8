# The pinned publisher certificates: the test PKI (never in git, made whatever
# the site's settings: the tests sign and pin with it), and the one file that
# compiles the pins in, verification/authenticate_signed_blob.cc, built once
# per pin set: bastion_trust_test (the test PKI's) and bastion_trust_site
# (BASTION_PINNED_CERTS, or an alias of the test set).
set(BASTION_PINNED_CERTS "" CACHE STRING
    "The two PEM certificates (\";\"-separated, in order) whose RSA keys may sign the configuration; empty: the test PKI's")

get_filename_component(BASTION_TEST_PKI ${CMAKE_BINARY_DIR}/../pki ABSOLUTE)
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tools/make_test_pki.sh ${BASTION_TEST_PKI}
                RESULT_VARIABLE pki_result)
if(NOT pki_result EQUAL 0)
  message(FATAL_ERROR "Could not make the test PKI in ${BASTION_TEST_PKI}")
endif()
set(BASTION_TEST_PINNED ${BASTION_TEST_PKI}/publisher1.pem ${BASTION_TEST_PKI}/publisher2.pem)

set(BASTION_PINNED_PATHS "")
foreach(pem ${BASTION_PINNED_CERTS})
  get_filename_component(pem ${pem} ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
  list(APPEND BASTION_PINNED_PATHS ${pem})
endforeach()
if(NOT BASTION_PINNED_PATHS)
  set(BASTION_PINNED_PATHS ${BASTION_TEST_PINNED})
endif()
list(LENGTH BASTION_PINNED_PATHS pinned_count)
if(NOT pinned_count EQUAL 2)
  message(FATAL_ERROR "BASTION_PINNED_CERTS must name two PEM certificates, not ${pinned_count}")
endif()

# generated-pins/NAME/verification/pinned_certificates.inc: each certificate as
# one line, header, Base64 body without breaks, footer.
function(bastion_pins name)
  set(lines "")
  foreach(pem ${ARGN})
    if(NOT EXISTS ${pem})
      message(FATAL_ERROR "Pinned certificate ${pem} does not exist")
    endif()
    file(READ ${pem} text)
    string(REGEX MATCH "-----BEGIN CERTIFICATE-----([A-Za-z0-9+/=\r\n]+)-----END CERTIFICATE-----" found "${text}")
    if(NOT found)
      message(FATAL_ERROR "${pem} holds no PEM certificate")
    endif()
    string(REGEX REPLACE "[\r\n]" "" body "${CMAKE_MATCH_1}")
    string(APPEND lines "    \"-----BEGIN CERTIFICATE-----${body}-----END CERTIFICATE-----\",\n")
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARGN})
  set(dir ${CMAKE_BINARY_DIR}/generated-pins/${name})
  file(CONFIGURE OUTPUT ${dir}/verification/pinned_certificates.inc
       CONTENT "// Generated from BASTION_PINNED_CERTS; do not edit.\nconstexpr const char* kPinnedCertificates[2] = {\n${lines}};\n"
       @ONLY)
  add_library(bastion_trust_${name} OBJECT ${PROJECT_SOURCE_DIR}/verification/authenticate_signed_blob.cc)
  target_include_directories(bastion_trust_${name} BEFORE PRIVATE ${dir})
  target_link_libraries(bastion_trust_${name} PRIVATE bastion_core)
  target_compile_options(bastion_trust_${name} PRIVATE ${BASTION_SIZE_OPTIONS})
endfunction()

bastion_pins(test ${BASTION_TEST_PINNED})
if(BASTION_PINNED_PATHS STREQUAL BASTION_TEST_PINNED)
  add_library(bastion_trust_site ALIAS bastion_trust_test)
  set(BASTION_PINS_ARE_TESTS ON)
else()
  bastion_pins(site ${BASTION_PINNED_PATHS})
  set(BASTION_PINS_ARE_TESTS OFF)
endif()
