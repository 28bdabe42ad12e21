// Running out of memory: each allocation of params_create, params_clone,
// state_create and the mode arrays fails in turn, and the function must
// answer none (or 0) after releasing everything it had taken.
//
// The test program is linked with --wrap for malloc, calloc, realloc and
// free (tests/CMakeLists.txt), so the model library's calls come here: a
// countdown makes the n-th allocation fail, and a ledger of the blocks given
// out while armed shows what is still held afterwards. Under ASan the leak
// checker at exit watches the same blocks a second time.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <functional>
#include <vector>

#include "model/params.h"
#include "model/state.h"

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);
void __real_free(void* block);
}

namespace {

struct Ledger {
  bool armed = false;
  int fail_at = -1;  // index of the allocation that fails; -1 none
  int made = 0;      // allocations asked for while armed
  void* held[512];   // blocks given out while armed and not yet freed
  int held_count = 0;
};
Ledger ledger;

// Whether the allocation being asked for fails.
bool fails_now() {
  if (!ledger.armed) return false;
  return ledger.made++ == ledger.fail_at;
}

void note(void* block) {
  if (!ledger.armed || block == nullptr) return;
  if (ledger.held_count < 512) ledger.held[ledger.held_count++] = block;
}

void forget(void* block) {
  for (int i = 0; i < ledger.held_count; ++i) {
    if (ledger.held[i] == block) {
      ledger.held[i] = ledger.held[--ledger.held_count];
      return;
    }
  }
}

}  // namespace

extern "C" {
void* __wrap_malloc(size_t size) {
  if (fails_now()) return nullptr;
  void* block = __real_malloc(size);
  note(block);
  return block;
}
void* __wrap_calloc(size_t count, size_t size) {
  if (fails_now()) return nullptr;
  void* block = __real_calloc(count, size);
  note(block);
  return block;
}
void* __wrap_realloc(void* block, size_t size) {
  if (fails_now()) return nullptr;
  void* moved = __real_realloc(block, size);
  if (moved != nullptr) forget(block);
  note(moved);
  return moved;
}
void __wrap_free(void* block) {
  forget(block);
  __real_free(block);
}
}

namespace {

// Calls `attempt` once with no failure to count its allocations, then once
// per allocation with that one failing. `attempt` returns what it made
// (released by `release`) or null; a failed attempt must return null and hold nothing.
void fail_each_allocation(const char* what, const std::function<void*()>& attempt,
                          const std::function<void(void*)>& release) {
  ledger = Ledger{};
  ledger.armed = true;
  void* whole = attempt();
  ledger.armed = false;
  const int allocations = ledger.made;
  ASSERT_NE(whole, nullptr) << what;
  release(whole);
  EXPECT_EQ(ledger.held_count, 0) << what << ": the release left blocks behind";
  ASSERT_GT(allocations, 0) << what << ": no allocation passed through the counter";
  for (int n = 0; n < allocations; ++n) {
    ledger = Ledger{};
    ledger.fail_at = n;
    ledger.armed = true;
    void* made = attempt();
    ledger.armed = false;
    EXPECT_EQ(made, nullptr) << what << ": allocation " << n + 1 << " of " << allocations
                             << " failed, yet it answered a result";
    EXPECT_EQ(ledger.held_count, 0) << what << ": allocation " << n + 1 << " of " << allocations
                                    << " failed and " << ledger.held_count << " blocks leaked";
    if (made != nullptr) release(made);
  }
}

void release_params(void* p) {
  params_free(static_cast<SimParams*>(p));
}
void release_state(void* s) {
  state_free(static_cast<SimState*>(s));
}

}  // namespace

TEST(AllocationFailure, ParamsCreateAnswersNone) {
  fail_each_allocation(
      "params_create", [] { return static_cast<void*>(params_create()); }, release_params);
}

// A record owning every kind of block: modes in all six directions and runout.
TEST(AllocationFailure, ParamsCloneReleasesTheCopiedModesAndRunout) {
  SimParams* source = params_create();
  ASSERT_NE(source, nullptr);
  for (ModalSet* set : {&source->spindle_modes, &source->tool_modes}) {
    ASSERT_TRUE(params_resize_modes(&set->x_modes, &set->x_count, 1));
    ASSERT_TRUE(params_resize_modes(&set->y_modes, &set->y_count, 2));
    ASSERT_TRUE(params_resize_modes(&set->z_modes, &set->z_count, 3));
  }
  source->edge_count = 2;
  source->runout = static_cast<RunoutPair*>(std::calloc(2, sizeof(RunoutPair)));
  ASSERT_NE(source->runout, nullptr);
  fail_each_allocation(
      "params_clone", [&] { return static_cast<void*>(params_clone(source)); }, release_params);
  params_free(source);
}

TEST(AllocationFailure, StateCreateReleasesItsHistoriesAndWorkspaces) {
  fail_each_allocation(
      "state_create", [] { return static_cast<void*>(state_create(16)); }, release_state);
}

TEST(AllocationFailure, ModeResponseCreateAnswersNone) {
  fail_each_allocation(
      "mode_response_create", [] { return static_cast<void*>(mode_response_create()); },
      [](void* r) { mode_response_free(static_cast<ModeResponse*>(r)); });
}

// A mode list that cannot be replaced leaves the direction empty, its old
// modes released, and says so with 0.
TEST(AllocationFailure, ResizingModesLeavesTheDirectionEmpty) {
  SimParams* p = params_create();
  ASSERT_NE(p, nullptr);
  ASSERT_TRUE(params_resize_modes(&p->tool_modes.y_modes, &p->tool_modes.y_count, 1));
  ledger = Ledger{};
  ledger.fail_at = 0;
  ledger.armed = true;
  const int resized = params_resize_modes(&p->tool_modes.y_modes, &p->tool_modes.y_count, 3);
  ledger.armed = false;
  EXPECT_EQ(resized, 0);
  EXPECT_EQ(p->tool_modes.y_modes, nullptr);
  EXPECT_EQ(p->tool_modes.y_count, 0);
  EXPECT_EQ(ledger.made, 1);
  EXPECT_EQ(ledger.held_count, 0);
  params_free(p);
}
