#include "device/exchange_pass.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "common/bounded_text.h"

namespace qv {
namespace {

bool Remembers(const ExchangePassState& state, std::u16string_view path) {
  return std::any_of(
      state.silentPaths.begin(), state.silentPaths.end(),
      [path](const std::u16string& silent) { return EqualsIgnoreAsciiCase(silent, path); });
}

}  // namespace

ExchangePass::ExchangePass(DeviceContext& context) : context_(context) {
  ExchangePassState& state = context_.pass;
  std::lock_guard<std::mutex> lock(state.mutex);
  const std::thread::id self = std::this_thread::get_id();
  if (state.openPass == 0) {
    state.openPass = ++state.lastPass;
    state.owner = self;
    state.depth = 0;
  } else if (state.owner != self) {
    return;  // another thread's pass
  }
  ++state.depth;
  pass_ = state.openPass;
}

ExchangePass::~ExchangePass() {
  if (pass_ == 0) return;
  ExchangePassState& state = context_.pass;
  std::lock_guard<std::mutex> lock(state.mutex);
  // The pass may have been dropped while a pause put it aside (see ExchangePassPause).
  if (state.openPass != pass_) return;
  if (--state.depth > 0) return;
  state.openPass = 0;
  state.owner = std::thread::id();
  state.silentPaths.clear();
}

ExchangePassPause::ExchangePassPause(DeviceContext& context) : context_(context) {
  ExchangePassState& state = context_.pass;
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.openPass == 0 || state.owner != std::this_thread::get_id()) return;
  paused_ = true;
  pass_ = std::exchange(state.openPass, 0);
  owner_ = std::exchange(state.owner, std::thread::id());
  depth_ = std::exchange(state.depth, 0);
  silentPaths_ = std::exchange(state.silentPaths, {});
}

ExchangePassPause::~ExchangePassPause() {
  if (!paused_) return;
  ExchangePassState& state = context_.pass;
  std::lock_guard<std::mutex> lock(state.mutex);
  // Passes opened during the pause by this thread have ended with their scopes. Should another
  // thread hold one now, the paused pass is dropped: its scopes then end nothing, and its key
  // pads are asked again.
  if (state.openPass != 0) return;
  state.openPass = pass_;
  state.owner = owner_;
  state.depth = depth_;
  state.silentPaths = std::move(silentPaths_);
}

PassVerdict CheckExchangePass(DeviceContext& context, const DeviceLink& link) {
  ExchangePassState& state = context.pass;
  std::lock_guard<std::mutex> lock(state.mutex);
  PassVerdict verdict;
  verdict.pass = state.openPass;
  verdict.silent = verdict.pass != 0 && Remembers(state, BoundedView(link.path));
  return verdict;
}

void NoteTimedOut(DeviceContext& context, const DeviceLink& link, std::uint64_t pass) {
  const std::u16string_view path = BoundedView(link.path);
  if (pass == 0 || path.empty()) return;
  ExchangePassState& state = context.pass;
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.openPass != pass || Remembers(state, path)) return;
  state.silentPaths.emplace_back(path);
}

}  // namespace qv
