# bastion_stamp (tools/), built for the host by the host compiler: it gives
# every signed stub its unconfigured configuration region, and the tests'
# fixtures their stamped copies.
include(ExternalProject)
set(BASTION_STAMP ${CMAKE_BINARY_DIR}/host-tools/bastion_stamp)
ExternalProject_Add(bastion_stamp_tool
  SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools
  BINARY_DIR ${CMAKE_BINARY_DIR}/host-tools
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${BASTION_STAMP})
