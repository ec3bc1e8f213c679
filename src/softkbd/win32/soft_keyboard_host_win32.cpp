#include "softkbd/win32/soft_keyboard_host_win32.h"

#include <string>

#include "access/key_pad_table.h"
#include "common/win32/sent_message_wait.h"
#include "common/win32/wide.h"
#include "device/device_commands.h"
#include "softkbd/layout.h"
#include "softkbd/soft_keyboard_start.h"
#include "softkbd/win32/hot_key_hook_win32.h"
#include "softkey_assets/win32/soft_key_assets_win32.h"

namespace qv {

// The page a paged keyboard starts on, read here on the starting thread as part of its scan, so
// that the keyboard's own thread never waits for its key pad.
int Win32SoftKeyboardHost::InitialPageOf(int slot) {
  const std::uint32_t modelIdentity = services_.table->slots[slot].modelIdentity;
  if (!IsPagedKeyboard(modelIdentity) || !services_.device) return 0;
  DeviceInfo answer{};
  const bool read = ReadActivePage(*services_.device, services_.table->slots[slot].link, answer);
  return InitialPage(true, read, answer[0]);
}

Win32SoftKeyboardHost::Win32SoftKeyboardHost() = default;

Win32SoftKeyboardHost::~Win32SoftKeyboardHost() {
  for (int slot = 0; slot < kMaxKeyPads; ++slot) CloseSoftKeyboardThread(slot);
  hotKeyReach_->LetGo();
  ForgetHotKeyTargets(hotKeyReach_.get());
}

HWND Win32SoftKeyboardHost::HotKeyReach::SoftKeyboardWindowOf(int slot) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return host_ ? host_->SoftKeyboardWindowOf(slot) : nullptr;
}

bool Win32SoftKeyboardHost::HotKeyReach::ModalActive() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return host_ && host_->ModalActive();
}

void Win32SoftKeyboardHost::HotKeyReach::LetGo() {
  const std::lock_guard<std::mutex> lock(mutex_);
  host_ = nullptr;
}

void Win32SoftKeyboardHost::Attach(SoftKeyboardServices services) {
  services_ = std::move(services);
  if (!services_.faces) services_.faces = &noFaces_;
  attached_ = services_.table && services_.touchEnabled && services_.nonJapaneseLayout &&
              services_.keyCodes && services_.settings;
}

bool Win32SoftKeyboardHost::SoftKeyboardThreadExists(int slot) {
  return IsSlot(slot) && slots_[slot].started.load();
}

bool Win32SoftKeyboardHost::SoftKeyboardWindowExists(int slot) {
  return IsSlot(slot) && slots_[slot].window.load() != nullptr;
}

bool Win32SoftKeyboardHost::ForgetEndedRun(Slot& entry) {
  if (entry.run && WaitForSingleObject(entry.run->thread.get(), 0) != WAIT_OBJECT_0) return false;
  entry.run.reset();
  return true;
}

void Win32SoftKeyboardHost::StartSoftKeyboardThread(int slot, SoftKeyLayout layout) {
  if (!IsSlot(slot) || slots_[slot].started.load() || !attached_) return;
  Slot& entry = slots_[slot];
  if (!ForgetEndedRun(entry)) return;  // the next scan tries again
  entry.layout = layout;
  auto run = std::make_shared<SoftKeyboardRun>();
  run->context = SoftKeyboardThreadContext{&services_,
                                           &injector_,
                                           slot,
                                           layout,
                                           &entry.window,
                                           &entry.shown,
                                           &entry.hiddenToIcon,
                                           InitialPageOf(slot),
                                           nullptr,
                                           &run->closeRequested};
  run->ready.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!run->ready) return;
  run->context.ready = run->ready.get();
  SetHotKeyTargets(hotKeyReach_);
  auto handOver = std::make_unique<std::shared_ptr<SoftKeyboardRun>>(run);
  run->thread.reset(CreateThread(nullptr, 0, SoftKeyboardThread, handOver.get(), 0, nullptr));
  if (!run->thread) return;  // the next scan tries again
  handOver.release();        // the thread's now
  entry.run = run;
  entry.started = true;
  // A close handled during this wait (the session ends) may forget the slot's run: this wait
  // holds its own share of the handles.
  const HANDLE handles[] = {run->ready.get(), run->thread.get()};
  WaitHandlingSentMessages(handles, 2, kStartWaitMs);
}

void Win32SoftKeyboardHost::CloseSoftKeyboardThread(int slot) {
  if (!IsSlot(slot) || !slots_[slot].started.load()) return;
  Slot& entry = slots_[slot];
  entry.started = false;
  const std::shared_ptr<SoftKeyboardRun> run = entry.run;
  // Set before the window is taken: a window published after this closes itself.
  if (run) run->closeRequested = true;
  if (HWND window = entry.window.exchange(nullptr)) {
    // The soft keyboard thread ends its message loop when its window closes.
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  if (run) {
    const HANDLE thread = run->thread.get();
    const bool ended = WaitHandlingSentMessages(&thread, 1, kCloseWaitMs) == 0;
    if (ended && entry.run == run) entry.run.reset();
  }
}

void Win32SoftKeyboardHost::CreateFolder(std::u16string_view path) {
  std::wstring folder = WideString(path);
  CreateDirectoryW(folder.c_str(), nullptr);
}

void Win32SoftKeyboardHost::LoadSoftKeyAssets(int slot) {
  LoadProcessSoftKeyAssets(slot);
}

void Win32SoftKeyboardHost::Bind(const KeyPadTable* table,
                                 const std::atomic<std::uint32_t>* touchEnabled) {
  table_ = table;
  touchEnabled_ = touchEnabled;
}

void Win32SoftKeyboardHost::SetSoftKeyboardVisible(int slot, bool show, bool iconWhenHidden) {
  if (!IsSlot(slot) || !table_ || !touchEnabled_) return;
  HWND window = slots_[slot].window.load();
  if (!window || !MayShowSoftKeyboard(*table_, slot, touchEnabled_->load() != 0)) return;
  // The keyboard's thread shows and hides its window and info icon itself.
  SendMessageW(window, kVisibilityMessage,
               static_cast<WPARAM>(show             ? VisibilityRequest::kShow
                                   : iconWhenHidden ? VisibilityRequest::kHideToInfoIcon
                                                    : VisibilityRequest::kHide),
               0);
}

void Win32SoftKeyboardHost::HideForCommand(int slot) {
  if (!IsSlot(slot)) return;
  if (HWND window = slots_[slot].window.load()) {
    SendMessageW(window, kVisibilityMessage, static_cast<WPARAM>(VisibilityRequest::kHide), 0);
  }
}

void Win32SoftKeyboardHost::ShowRevealed(int slot) {
  if (!IsSlot(slot)) return;
  if (HWND window = slots_[slot].window.load())
    SendMessageW(window, kVisibilityMessage, static_cast<WPARAM>(VisibilityRequest::kShow), 0);
}

HWND Win32SoftKeyboardHost::SoftKeyboardWindowOf(int slot) {
  return SoftKeyboardWindow(slot);
}

bool Win32SoftKeyboardHost::ModalActive() {
  return table_ && table_->modalActive.load();
}

void Win32SoftKeyboardHost::ReinstallHotKeyHook() {
  OnSessionBackForHotKey();
}

bool Win32SoftKeyboardHost::KeyboardShown(int slot) {
  return IsSlot(slot) && slots_[slot].shown.load();
}

bool Win32SoftKeyboardHost::HiddenToIcon(int slot) {
  return IsSlot(slot) && slots_[slot].hiddenToIcon.load();
}

HWND Win32SoftKeyboardHost::SoftKeyboardWindow(int slot) {
  return IsSlot(slot) ? slots_[slot].window.load() : nullptr;
}

void Win32SoftKeyboardHost::Clear() {
  for (int slot = 0; slot < kMaxKeyPads; ++slot) CloseSoftKeyboardThread(slot);
}

}  // namespace qv
