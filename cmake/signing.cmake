# Trust inputs of the product: the test PKI, the pinned publisher certificates
# compiled in, the code-signing certificate, and the host stamping tool that
# gives every signed exe its unconfigured region.
include(ExternalProject)

set(BASTION_PINNED_CERTS "" CACHE STRING
    "The two PEM certificates (\";\"-separated, in order) whose RSA keys may sign the configuration; empty: the test PKI's")
set(BASTION_CODESIGN ON CACHE BOOL "Sign the product after linking (OFF: leave it unsigned, to be signed elsewhere and prepared with bastion_stamp prepare)")
set(BASTION_CODESIGN_CERT "" CACHE FILEPATH "PEM RSA code-signing certificate (chain) for the product; empty: the test PKI's")
set(BASTION_CODESIGN_KEY "" CACHE FILEPATH "PEM private key of BASTION_CODESIGN_CERT")
set(BASTION_APPENDED_BLOB OFF CACHE BOOL "Give the product the configuration region appended after the signature instead of inside it")

# The test PKI (never in git) is made whatever the site's settings: the tests
# sign and pin with it.
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
  add_library(bastion_trust_${name} OBJECT ${BASTION_TRUST_SOURCE})
  target_include_directories(bastion_trust_${name} BEFORE PRIVATE ${dir})
  target_link_libraries(bastion_trust_${name} PRIVATE bastion_core)
  target_compile_options(bastion_trust_${name} PRIVATE ${BASTION_SIZE_OPTIONS})
endfunction()

bastion_pins(test ${BASTION_TEST_PINNED})
if(BASTION_PINNED_PATHS STREQUAL BASTION_TEST_PINNED)
  add_library(bastion_trust_site ALIAS bastion_trust_test)
  set(pins_are_tests ON)
else()
  bastion_pins(site ${BASTION_PINNED_PATHS})
  set(pins_are_tests OFF)
endif()

if(NOT BASTION_CODESIGN)
  set(BASTION_SIGN_CERT "")
  set(BASTION_SIGN_KEY "")
  message(STATUS "BASTION_CODESIGN is off: BastionSetup.exe stays unsigned and without its configuration "
                 "region. Sign it, then run: bastion_stamp prepare SIGNED.exe OUT.exe")
elseif(BASTION_CODESIGN_CERT)
  if(NOT BASTION_CODESIGN_KEY)
    message(FATAL_ERROR "BASTION_CODESIGN_CERT needs BASTION_CODESIGN_KEY")
  endif()
  foreach(file ${BASTION_CODESIGN_CERT} ${BASTION_CODESIGN_KEY})
    if(NOT EXISTS ${file})
      message(FATAL_ERROR "${file} does not exist")
    endif()
  endforeach()
  set(BASTION_SIGN_CERT ${BASTION_CODESIGN_CERT})
  set(BASTION_SIGN_KEY ${BASTION_CODESIGN_KEY})
else()
  set(BASTION_SIGN_CERT ${BASTION_TEST_PKI}/codesign-chain.pem)
  set(BASTION_SIGN_KEY ${BASTION_TEST_PKI}/codesign.key)
endif()

# Anything but the test PKI's pins and signature is a site's own build.
if(pins_are_tests AND BASTION_CODESIGN AND NOT BASTION_CODESIGN_CERT)
  set(BASTION_SITE_SETTINGS OFF)
else()
  set(BASTION_SITE_SETTINGS ON)
endif()

# The stamping tool, built for the host by the host compiler.
set(BASTION_STAMP ${CMAKE_BINARY_DIR}/host-tools/bastion_stamp)
ExternalProject_Add(bastion_stamp_tool
  SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools
  BINARY_DIR ${CMAKE_BINARY_DIR}/host-tools
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${BASTION_STAMP})
if(BASTION_APPENDED_BLOB)
  set(BASTION_LAYOUT_OPTION --appended)
else()
  set(BASTION_LAYOUT_OPTION "")
endif()

# After linking: signed by CERT with KEY, then given the unconfigured region.
function(bastion_sign_and_prepare target cert key)
  add_dependencies(${target} bastion_stamp_tool)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND osslsigncode sign -certs ${cert} -key ${key} -h sha256
            -n "Bastion Setup" -in $<TARGET_FILE:${target}> -out $<TARGET_FILE:${target}>.signed
    COMMAND ${BASTION_STAMP} prepare ${BASTION_LAYOUT_OPTION} $<TARGET_FILE:${target}>.signed $<TARGET_FILE:${target}>
    COMMAND ${CMAKE_COMMAND} -E remove $<TARGET_FILE:${target}>.signed
    VERBATIM)
endfunction()
