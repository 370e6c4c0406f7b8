// For code that waits on the page (a RETRY press): a way to stop waiting
// when the window is gone and no press can come.
#ifndef BASTION_UI_WEB_INSTANCE_GONE_H_
#define BASTION_UI_WEB_INSTANCE_GONE_H_

#include <windows.h>

struct WebInstance;

// A manual-reset event, signalled once the record has no window: creation
// failed, or the window was destroyed (Alt+F4, CloseWebInstance). Owned by
// the record and valid for the life of the process; null for a null record.
// Wait on it together with RetryEvent, e.g.
//   HANDLE waits[] = {RetryEvent, WebInstanceGoneEvent(instance)};
//   WaitForMultipleObjects(2, waits, FALSE, INFINITE);
HANDLE WebInstanceGoneEvent(const WebInstance* instance);

#endif  // BASTION_UI_WEB_INSTANCE_GONE_H_
