#include "ui/web_instance_record.h"

namespace bastion {

WebInstance::WebInstance() : gone(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

WebInstance::~WebInstance() {
  if (gone != nullptr) CloseHandle(gone);
}

namespace {

struct InstanceTable {
  CriticalSectionLock lock;
  std::map<HWND, WebInstance*> instances;
};

// Never destroyed: the window thread is detached and reads the table on
// every message, also while the runtime's exit-time destructors run after
// wmain has returned.
InstanceTable& Table() {
  static InstanceTable* const table = new InstanceTable;
  return *table;
}

}  // namespace

void EnterInstance(HWND window, WebInstance* instance) {
  InstanceTable& table = Table();
  ScopedEnter hold(table.lock);
  table.instances[window] = instance;
}

// Looked up under the lock as well: tests (and any second window) run more
// than one window thread at a time.
WebInstance* FindInstance(HWND window) {
  InstanceTable& table = Table();
  ScopedEnter hold(table.lock);
  auto found = table.instances.find(window);
  return found == table.instances.end() ? nullptr : found->second;
}

WebInstance* TakeInstance(HWND window) {
  InstanceTable& table = Table();
  ScopedEnter hold(table.lock);
  auto found = table.instances.find(window);
  if (found == table.instances.end()) return nullptr;
  WebInstance* instance = found->second;
  table.instances.erase(found);
  return instance;
}

}  // namespace bastion
