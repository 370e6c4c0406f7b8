// The progress page stored in the program's own file.
#ifndef BASTION_UI_PAGE_RESOURCE_H_
#define BASTION_UI_PAGE_RESOURCE_H_

#include <windows.h>

namespace bastion {

inline constexpr int kProgressPageResource = 101;

// The page as a terminated wide string inside the locked resource (RT_HTML
// 101, language 1033) of `module` (null: the program itself); null when it
// cannot be found, loaded, locked, or lacks its closing NUL.
const wchar_t* LoadProgressPage(HMODULE module = nullptr);

}  // namespace bastion

#endif  // BASTION_UI_PAGE_RESOURCE_H_
