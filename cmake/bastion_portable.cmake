# Native tree: bastion_portable, the Windows-free code (the PORTABLE files of
# the product folders) with AddressSanitizer and UBSan.
set(BASTION_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)

add_library(bastion_portable STATIC)
target_include_directories(bastion_portable PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(bastion_portable PUBLIC -Wall -Wextra ${BASTION_SANITIZE})
target_link_options(bastion_portable PUBLIC ${BASTION_SANITIZE})
