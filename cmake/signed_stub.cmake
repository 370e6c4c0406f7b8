# The post-link step of every stub the build makes: code signing, then the
# unconfigured configuration region, which lies outside what the signature
# covers and so can only be added to a signed file. The signing settings also
# name the packages' publisher.
set(BASTION_CODESIGN ON CACHE BOOL "Sign the product after linking (OFF: leave it unsigned, to be signed elsewhere and prepared with bastion_stamp prepare)")
set(BASTION_CODESIGN_CERT "" CACHE FILEPATH "PEM RSA code-signing certificate (chain, leaf first) for the product; empty: the test PKI's")
set(BASTION_CODESIGN_KEY "" CACHE FILEPATH "PEM private key of BASTION_CODESIGN_CERT")
set(BASTION_APPENDED_BLOB OFF CACHE BOOL "Give the product the configuration region appended after the signature instead of inside it")

set(BASTION_PACKAGE_SIGNER "" CACHE FILEPATH
    "PEM certificate whose subject the packages' signer must carry; empty: the first certificate of BASTION_CODESIGN_CERT, else the test PKI's")

set(BASTION_TEST_SIGN_CERT ${BASTION_TEST_PKI}/codesign-chain.pem)
set(BASTION_TEST_SIGN_KEY ${BASTION_TEST_PKI}/codesign.key)
set(BASTION_TEST_PUBLISHER_CERT ${BASTION_TEST_PKI}/codesign.pem)
if(BASTION_CODESIGN_CERT AND NOT EXISTS ${BASTION_CODESIGN_CERT})
  message(FATAL_ERROR "${BASTION_CODESIGN_CERT} does not exist")
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
  if(NOT EXISTS ${BASTION_CODESIGN_KEY})
    message(FATAL_ERROR "${BASTION_CODESIGN_KEY} does not exist")
  endif()
  set(BASTION_SIGN_CERT ${BASTION_CODESIGN_CERT})
  set(BASTION_SIGN_KEY ${BASTION_CODESIGN_KEY})
else()
  set(BASTION_SIGN_CERT ${BASTION_TEST_SIGN_CERT})
  set(BASTION_SIGN_KEY ${BASTION_TEST_SIGN_KEY})
endif()

# The packages' publisher, compiled in (cmake/pins.cmake): packages must be
# signed under its subject, whoever signed the file the stub runs from.
# A chain file is leaf first, so its first certificate is the signer's.
if(BASTION_PACKAGE_SIGNER)
  get_filename_component(BASTION_PUBLISHER_CERT ${BASTION_PACKAGE_SIGNER} ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
elseif(BASTION_CODESIGN_CERT)
  set(BASTION_PUBLISHER_CERT ${BASTION_CODESIGN_CERT})
elseif(BASTION_CODESIGN)
  set(BASTION_PUBLISHER_CERT ${BASTION_TEST_PUBLISHER_CERT})
else()
  message(FATAL_ERROR "BASTION_CODESIGN is off: give BASTION_PACKAGE_SIGNER (the PEM certificate that signs "
                      "the packages) or BASTION_CODESIGN_CERT (the chain the product will be signed with, leaf first)")
endif()
if(NOT EXISTS ${BASTION_PUBLISHER_CERT})
  message(FATAL_ERROR "${BASTION_PUBLISHER_CERT} does not exist")
endif()
execute_process(COMMAND openssl x509 -in ${BASTION_PUBLISHER_CERT} -noout -ext basicConstraints
                RESULT_VARIABLE publisher_result OUTPUT_VARIABLE publisher_constraints ERROR_QUIET)
if(NOT publisher_result EQUAL 0)
  message(FATAL_ERROR "${BASTION_PUBLISHER_CERT} holds no readable PEM certificate")
endif()
if(publisher_constraints MATCHES "CA:TRUE")
  message(FATAL_ERROR "The first certificate of ${BASTION_PUBLISHER_CERT} is a CA: the packages' signer "
                      "(the leaf) must come first")
endif()

if(BASTION_APPENDED_BLOB)
  set(BASTION_LAYOUT_OPTION --appended)
else()
  set(BASTION_LAYOUT_OPTION "")
endif()

# bastion_signed_stub(TARGET [TEST_PKI]): after linking, TARGET is signed and
# then given the unconfigured region in the layout BASTION_APPENDED_BLOB picks.
# It is signed with the site's certificate (BASTION_CODESIGN_CERT, else the
# test PKI's); with BASTION_CODESIGN off it stays unsigned and without the
# region, and the build says so. TEST_PKI: always signed with the test PKI,
# for the stubs that the tests run.
function(bastion_signed_stub target)
  cmake_parse_arguments(ARG "TEST_PKI" "" "" ${ARGN})
  if(ARG_TEST_PKI)
    set(cert ${BASTION_TEST_SIGN_CERT})
    set(key ${BASTION_TEST_SIGN_KEY})
  else()
    set(cert ${BASTION_SIGN_CERT})
    set(key ${BASTION_SIGN_KEY})
  endif()
  if(NOT cert)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E echo "$<TARGET_FILE:${target}> is unsigned (BASTION_CODESIGN=off): sign it, then run bastion_stamp prepare SIGNED.exe OUT.exe"
      VERBATIM)
    return()
  endif()
  add_dependencies(${target} bastion_stamp_tool)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND osslsigncode sign -certs ${cert} -key ${key} -h sha256
            -n "Bastion Setup" -in $<TARGET_FILE:${target}> -out $<TARGET_FILE:${target}>.signed
    COMMAND ${BASTION_STAMP} prepare ${BASTION_LAYOUT_OPTION} $<TARGET_FILE:${target}>.signed $<TARGET_FILE:${target}>
    COMMAND ${CMAKE_COMMAND} -E remove $<TARGET_FILE:${target}>.signed
    VERBATIM)
endfunction()
