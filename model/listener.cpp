#include "model/listener.h"

#include <new>

namespace {

// The process's listener table: absent until the first registration and
// released again when its last listener is removed.
struct ListenerTable {
  ListenerFn slots[kListenerSlots];
  int count;
};

ListenerTable* g_table = nullptr;

bool slot_in_range(int slot) {
  return slot >= 0 && slot < kListenerSlots;
}

}  // namespace

int listener_register(ListenerFn fn) {
  if (fn == nullptr) return -1;
  if (g_table == nullptr) {
    g_table = new (std::nothrow) ListenerTable{};
    if (g_table == nullptr) return -1;
  }
  for (int slot = 0; slot < kListenerSlots; ++slot) {
    if (g_table->slots[slot] == nullptr) {
      g_table->slots[slot] = fn;
      g_table->count += 1;
      return slot;
    }
  }
  return -1;
}

void listener_remove(int slot) {
  if (g_table == nullptr || !slot_in_range(slot) || g_table->slots[slot] == nullptr) return;
  g_table->slots[slot] = nullptr;
  g_table->count -= 1;
  if (g_table->count == 0) {
    delete g_table;
    g_table = nullptr;
  }
}

int listener_dispatch(int slot, int32_t event, const EventContext* context) {
  if (g_table == nullptr || !slot_in_range(slot) || g_table->slots[slot] == nullptr) return -1;
  g_table->slots[slot](event, context);
  return slot;
}

void listener_table_destroy() {
  for (int slot = 0; slot < kListenerSlots && g_table != nullptr; ++slot) listener_remove(slot);
  delete g_table;
  g_table = nullptr;
}
