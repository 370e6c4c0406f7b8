# The pinned publisher certificates and the packages' publisher, and the one
# file that compiles them in, verification/authenticate_signed_blob.cc, built
# once per set: bastion_trust_test (the test PKI's pins and code-signing
# certificate) and bastion_trust_site (BASTION_PINNED_CERTS and
# BASTION_PUBLISHER_CERT, or an alias of the test set when both are the test
# PKI's).
set(BASTION_PINNED_CERTS "" CACHE STRING
    "The two PEM certificates (\";\"-separated, in order) whose RSA keys may sign the configuration; empty: the test PKI's")

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

# The first PEM certificate of `pem` as one line: header, Base64 body without
# breaks, footer.
function(bastion_pem_line pem out)
  if(NOT EXISTS ${pem})
    message(FATAL_ERROR "Certificate ${pem} does not exist")
  endif()
  file(READ ${pem} text)
  string(REGEX MATCH "-----BEGIN CERTIFICATE-----([A-Za-z0-9+/=\r\n]+)-----END CERTIFICATE-----" found "${text}")
  if(NOT found)
    message(FATAL_ERROR "${pem} holds no PEM certificate")
  endif()
  string(REGEX REPLACE "[\r\n]" "" body "${CMAKE_MATCH_1}")
  set(${out} "-----BEGIN CERTIFICATE-----${body}-----END CERTIFICATE-----" PARENT_SCOPE)
endfunction()

# generated-pins/NAME/verification/pinned_certificates.inc: the pinned
# certificates and the packages' publisher certificate, each as one line.
function(bastion_pins name publisher)
  set(lines "")
  foreach(pem ${ARGN})
    bastion_pem_line(${pem} line)
    string(APPEND lines "    \"${line}\",\n")
  endforeach()
  bastion_pem_line(${publisher} publisher_line)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARGN} ${publisher})
  set(dir ${CMAKE_BINARY_DIR}/generated-pins/${name})
  file(CONFIGURE OUTPUT ${dir}/verification/pinned_certificates.inc
       CONTENT "// Generated from BASTION_PINNED_CERTS and the packages' publisher; do not edit.
constexpr const char* kPinnedCertificates[2] = {\n${lines}};
constexpr char kPackagePublisher[] =\n    \"${publisher_line}\";\n"
       @ONLY)
  add_library(bastion_trust_${name} OBJECT ${PROJECT_SOURCE_DIR}/verification/authenticate_signed_blob.cc)
  target_include_directories(bastion_trust_${name} BEFORE PRIVATE ${dir})
  target_link_libraries(bastion_trust_${name} PRIVATE bastion_core)
  target_compile_options(bastion_trust_${name} PRIVATE ${BASTION_SIZE_OPTIONS})
endfunction()

bastion_pins(test ${BASTION_TEST_PUBLISHER_CERT} ${BASTION_TEST_PINNED})
if(BASTION_PINNED_PATHS STREQUAL BASTION_TEST_PINNED AND BASTION_PUBLISHER_CERT STREQUAL BASTION_TEST_PUBLISHER_CERT)
  add_library(bastion_trust_site ALIAS bastion_trust_test)
  set(BASTION_PINS_ARE_TESTS ON)
else()
  bastion_pins(site ${BASTION_PUBLISHER_CERT} ${BASTION_PINNED_PATHS})
  set(BASTION_PINS_ARE_TESTS OFF)
endif()

# Anything but the test PKI's pins, publisher and signature is a site's own
# build: it ships its own, and the tests run the product's twin, pinned and
# signed with the test PKI (Src/VTDropper/CMakeLists.txt).
if(BASTION_PINS_ARE_TESTS AND BASTION_CODESIGN AND NOT BASTION_CODESIGN_CERT AND NOT BASTION_PACKAGE_SIGNER)
  set(BASTION_SITE_SETTINGS OFF)
  set(BASTION_TESTED_PRODUCT BastionSetup)
else()
  set(BASTION_SITE_SETTINGS ON)
  set(BASTION_TESTED_PRODUCT bastion_tested_product)
endif()
