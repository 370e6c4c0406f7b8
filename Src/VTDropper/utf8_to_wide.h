// UTF-8 text of the configuration to the wide strings the system wants.
#ifndef BASTION_SRC_VTDROPPER_UTF8_TO_WIDE_H_
#define BASTION_SRC_VTDROPPER_UTF8_TO_WIDE_H_

#include <string>

namespace bastion {

// Code page 65001, flags 0; empty when nothing converts.
std::wstring Utf8ToWide(const std::string& text);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_UTF8_TO_WIDE_H_
