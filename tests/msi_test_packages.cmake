# Test packages for the local-file, installer-launch and package-edit tests,
# built with wixl into tests/msi/ beside the test binary, and the msiinfo
# inspection of the packages that the create-package tests leave behind.
set(BASTION_TEST_MSI_DIR ${CMAKE_BINARY_DIR}/tests/msi)
set(BASTION_TEST_MSI_SOURCE ${PROJECT_SOURCE_DIR}/tests/data/msi)

# name, RECONF yes/no, launch condition fails yes/no, upgrade and component GUID suffix
set(bastion_test_packages
  "reconf|yes|no|01" "plain|no|no|02" "install|no|no|03" "never|no|yes|04")
set(bastion_test_msi_files "")
foreach(entry ${bastion_test_packages})
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 name)
  list(GET fields 1 reconf)
  list(GET fields 2 fail)
  list(GET fields 3 suffix)
  set(out ${BASTION_TEST_MSI_DIR}/${name}.msi)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${BASTION_TEST_MSI_DIR}
    # wixl resolves payload sources against the current folder.
    COMMAND wixl -a x64 -D NAME=${name} -D RECONF=${reconf} -D FAIL=${fail} -D PAYLOAD=payload.txt
            -D UPGRADE=6D4C3F5E-1B8A-4C3B-9E3A-0A1B2C3D4E${suffix}
            -D COMPONENT=6D4C3F5E-1B8A-4C3B-9E3A-0A1B2C3D4F${suffix}
            -o ${out} ${BASTION_TEST_MSI_SOURCE}/package.wxs
    WORKING_DIRECTORY ${BASTION_TEST_MSI_SOURCE}
    DEPENDS ${BASTION_TEST_MSI_SOURCE}/package.wxs ${BASTION_TEST_MSI_SOURCE}/payload.txt
    VERBATIM)
  list(APPEND bastion_test_msi_files ${out})
endforeach()

# Delivered packages are code-signed: the edits must work on a signed one.
# Signed with the test PKI, as the product the tests run, whatever the site's
# settings (with BASTION_CODESIGN off there is no other certificate).
set(signed ${BASTION_TEST_MSI_DIR}/reconf_signed.msi)
add_custom_command(OUTPUT ${signed}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${signed}
  COMMAND osslsigncode sign -certs ${BASTION_TEST_SIGN_CERT} -key ${BASTION_TEST_SIGN_KEY} -h sha256
          -n "Bastion Test Package" -in ${BASTION_TEST_MSI_DIR}/reconf.msi -out ${signed}
  DEPENDS ${BASTION_TEST_MSI_DIR}/reconf.msi
  VERBATIM)
list(APPEND bastion_test_msi_files ${signed})

add_custom_target(bastion_test_packages ALL DEPENDS ${bastion_test_msi_files})
add_dependencies(bastion_tests bastion_test_packages)

add_test(NAME CreatePackageInspection
  COMMAND ${PROJECT_SOURCE_DIR}/tests/scripts/inspect_created_packages.sh ${CMAKE_BINARY_DIR}/tests)
set_tests_properties(CreatePackageInspection PROPERTIES LABELS wine TIMEOUT 600)

# The database tests read results back through the installer's own functions.
target_link_libraries(bastion_tests PRIVATE msi)
