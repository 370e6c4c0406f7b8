# The post-link step of every stub the build makes: code signing, then the
# unconfigured configuration region, which lies outside what the signature
# covers and so can only be added to a signed file.
set(BASTION_CODESIGN ON CACHE BOOL "Sign the product after linking (OFF: leave it unsigned, to be signed elsewhere and prepared with bastion_stamp prepare)")
set(BASTION_CODESIGN_CERT "" CACHE FILEPATH "PEM RSA code-signing certificate (chain) for the product; empty: the test PKI's")
set(BASTION_CODESIGN_KEY "" CACHE FILEPATH "PEM private key of BASTION_CODESIGN_CERT")
set(BASTION_APPENDED_BLOB OFF CACHE BOOL "Give the product the configuration region appended after the signature instead of inside it")

set(BASTION_TEST_SIGN_CERT ${BASTION_TEST_PKI}/codesign-chain.pem)
set(BASTION_TEST_SIGN_KEY ${BASTION_TEST_PKI}/codesign.key)
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
  set(BASTION_SIGN_CERT ${BASTION_TEST_SIGN_CERT})
  set(BASTION_SIGN_KEY ${BASTION_TEST_SIGN_KEY})
endif()

# Anything but the test PKI's pins and signature is a site's own build: it
# ships its own, and the tests run the product's twin, pinned and signed with
# the test PKI (Src/VTDropper/CMakeLists.txt).
if(BASTION_PINS_ARE_TESTS AND BASTION_CODESIGN AND NOT BASTION_CODESIGN_CERT)
  set(BASTION_SITE_SETTINGS OFF)
  set(BASTION_TESTED_PRODUCT BastionSetup)
else()
  set(BASTION_SITE_SETTINGS ON)
  set(BASTION_TESTED_PRODUCT bastion_tested_product)
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
