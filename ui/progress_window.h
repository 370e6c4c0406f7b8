// The installation procedure's start of the progress window, in one call:
// the page from the program's resources, the window, the log function, the
// page's two buttons, the close function and the server line.
#ifndef BASTION_UI_PROGRESS_WINDOW_H_
#define BASTION_UI_PROGRESS_WINDOW_H_

#include <windows.h>

#include "ui/web_instance.h"

namespace bastion {

enum class ProgressWindowStart {
  kStarted,  // `*instance` holds a record (its window may still be missing)
  kNoPage,   // the page resource could not be loaded; nothing was started
};

// `serverName` is the server's name as wide text, shown as "Server: " + name.
// `module` holds the page resource; null means the program itself.
ProgressWindowStart StartProgressWindow(WebInstance** instance, PageLogFunction log,
                                        const wchar_t* serverName, HMODULE module = nullptr);

}  // namespace bastion

#endif  // BASTION_UI_PROGRESS_WINDOW_H_
