# Code signing of the product after linking. Without BASTION_CODESIGN_CERT and
# BASTION_CODESIGN_KEY the build makes a test root CA and a code-signing leaf
# in the build tree (never in git).
set(BASTION_CODESIGN_CERT "" CACHE FILEPATH "PEM code-signing certificate (chain) for the product")
set(BASTION_CODESIGN_KEY "" CACHE FILEPATH "PEM private key of BASTION_CODESIGN_CERT")

set(BASTION_TEST_PKI ${CMAKE_BINARY_DIR}/../pki)
if(NOT BASTION_CODESIGN_CERT)
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tools/make_test_pki.sh ${BASTION_TEST_PKI}
                  RESULT_VARIABLE pki_result)
  if(NOT pki_result EQUAL 0)
    message(FATAL_ERROR "Could not make the test PKI in ${BASTION_TEST_PKI}")
  endif()
  set(BASTION_SIGN_CERT ${BASTION_TEST_PKI}/codesign-chain.pem)
  set(BASTION_SIGN_KEY ${BASTION_TEST_PKI}/codesign.key)
else()
  set(BASTION_SIGN_CERT ${BASTION_CODESIGN_CERT})
  set(BASTION_SIGN_KEY ${BASTION_CODESIGN_KEY})
endif()

function(bastion_sign target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND osslsigncode sign -certs ${BASTION_SIGN_CERT} -key ${BASTION_SIGN_KEY} -h sha256
            -n "Bastion Setup" -in $<TARGET_FILE:${target}> -out $<TARGET_FILE:${target}>.signed
    COMMAND ${CMAKE_COMMAND} -E rename $<TARGET_FILE:${target}>.signed $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
