// For code that waits on the page (a RETRY press): whether the page shows
// RETRY at all, and a way to stop waiting when the window is gone and no
// press can come.
#ifndef BASTION_UI_WEB_INSTANCE_GONE_H_
#define BASTION_UI_WEB_INSTANCE_GONE_H_

#include <windows.h>

namespace bastion {

struct WebInstance;

// A manual-reset event, signalled once the record has no window: creation
// failed, or the window was destroyed (Alt+F4, CloseWebInstance). Owned by
// the record and valid for the life of the process; null for a null record.
// Wait on it together with RetryEvent, e.g.
//   HANDLE waits[] = {RetryEvent, WebInstanceGoneEvent(instance)};
//   WaitForMultipleObjects(2, waits, FALSE, INFINITE);
HANDLE WebInstanceGoneEvent(const WebInstance* instance);

// True once the page's script ran "ForceRetry" successfully, which shows the
// RETRY button; false while no page is loaded (no document or no script, as
// when the page failed to load), and for a null record.
bool WebInstanceRetryShown(const WebInstance* instance);

}  // namespace bastion

#endif  // BASTION_UI_WEB_INSTANCE_GONE_H_
