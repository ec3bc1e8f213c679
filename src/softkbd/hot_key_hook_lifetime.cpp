#include "softkbd/hot_key_hook_lifetime.h"

namespace qv {

bool HotKeyHookLifetime::OnKeyboardCreated() {
  ++keyboards_;
  return true;
}

bool HotKeyHookLifetime::OnKeyboardDestroyed() {
  // A destroy without its creation counted (never expected) cannot take the count below zero.
  if (keyboards_ == 0) return false;
  return --keyboards_ == 0;
}

bool HotKeyHookLifetime::OnSessionBack() const {
  return keyboards_ > 0;
}

}  // namespace qv
