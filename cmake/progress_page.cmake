# The progress page: built from its UTF-8 source into the UTF-16 form the
# resource script embeds (RT_HTML 101).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(BASTION_PAGE_SOURCE ${PROJECT_SOURCE_DIR}/resources/progress_page.html)
set(BASTION_PAGE_RESOURCE ${CMAKE_BINARY_DIR}/generated/progress_page.utf16)
add_custom_command(
  OUTPUT ${BASTION_PAGE_RESOURCE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/make_page_resource.py
          ${BASTION_PAGE_SOURCE} ${BASTION_PAGE_RESOURCE}
  DEPENDS ${BASTION_PAGE_SOURCE} ${PROJECT_SOURCE_DIR}/tools/make_page_resource.py
  COMMENT "Progress page resource")
add_custom_target(bastion_page DEPENDS ${BASTION_PAGE_RESOURCE})

# bastion_resources(TARGET): the product's resources (resources/BastionSetup.rc:
# icon, manifest and the page) compiled into TARGET.
function(bastion_resources target)
  set(script ${PROJECT_SOURCE_DIR}/resources/BastionSetup.rc)
  target_sources(${target} PRIVATE ${script})
  set_source_files_properties(${script} TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS ${BASTION_PAGE_RESOURCE})
  add_dependencies(${target} bastion_page)
endfunction()
