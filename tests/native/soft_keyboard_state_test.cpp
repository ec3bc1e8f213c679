// The soft keyboard's events against a recording view: what each click, tick, answer and request
// asks of the window, and what it types, shows and stores.
#include "softkbd/soft_keyboard_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/ids.h"
#include "common/memory_settings.h"
#include "device/device_link.h"
#include "keycode/key_table.h"

namespace qv {
namespace {

// Records every request of an event as one short line.
class RecordingView : public SoftKeyboardView {
 public:
  void PlaceButtons(const std::array<PixelRect, kLayoutCells>& buttons,
                    const std::array<PixelRect, 3>& icons) override {
    placed = buttons;
    headerIcons = icons;
    Add("place");
  }
  void PlaceTabs(const std::array<PixelRect, kPageCount>& t) override {
    tabs = t;
    Add("tabs");
  }
  void CheckTab(int page) override { Add("check " + std::to_string(page)); }
  void RefitFaces(int page, std::int32_t size) override {
    Add("faces " + std::to_string(page) + " " + std::to_string(size));
  }
  void ShowHeaderLook(HeaderIcon icon, HeaderLook look) override {
    Add("look " + std::to_string(static_cast<int>(icon)) + " " +
        std::to_string(static_cast<int>(look)));
  }
  void StartTimer(SoftKeyboardTimer t) override {
    Add("start " + std::to_string(static_cast<int>(t)));
  }
  void StopTimer(SoftKeyboardTimer t) override {
    Add("stop " + std::to_string(static_cast<int>(t)));
  }
  void ShowKeyboard(bool shown) override { Add(shown ? "show" : "hide"); }
  void ShowInfoIcon(bool shown) override { Add(shown ? "icon shown" : "icon hidden"); }
  void EnableButton(int button, bool enabled) override {
    Add((enabled ? "enable " : "disable ") + std::to_string(button));
  }
  void Repaint() override { Add("repaint"); }
  void OpenMenu(unsigned menuId, ScreenPoint point) override {
    Add("menu " + std::to_string(menuId) + " at " + std::to_string(point.x) + "," +
        std::to_string(point.y));
  }
  int RunMenuDialog() override {
    modalDuringDialog = table->modalActive.load();
    Add("menu dialog");
    return menuResult;
  }
  void PostShellCommand(std::uint16_t command, std::uint16_t code) override {
    Add("post " + std::to_string(command) + " " + std::to_string(code));
  }
  void RequestActivePage() override { Add("ask page"); }
  void RequestStatus() override { Add("ask status"); }
  void SelectKeyPadPage(int page) override { Add("select " + std::to_string(page)); }

  bool Saw(const std::string& line) const {
    return std::find(calls.begin(), calls.end(), line) != calls.end();
  }
  std::vector<std::string> Take() { return std::exchange(calls, {}); }

  std::vector<std::string> calls;
  std::array<PixelRect, kLayoutCells> placed{};
  std::array<PixelRect, 3> headerIcons{};
  std::array<PixelRect, kPageCount> tabs{};
  const KeyPadTable* table = nullptr;
  int menuResult = 0;
  bool modalDuringDialog = false;

 private:
  void Add(std::string line) { calls.push_back(std::move(line)); }
};

// Counts what reaches the system; never refuses. While held (at most 10 s), a send does not
// return, as a SendInput the system holds up.
class CountingSink : public InputSink {
 public:
  std::size_t SendKeyboardInputs(std::span<const KeyInput> inputs) override {
    std::unique_lock lock(mutex);
    batches.emplace_back(inputs.begin(), inputs.end());
    changed.wait_for(lock, std::chrono::seconds(10), [&] { return !held; });
    return inputs.size();
  }
  void Hold() {
    std::lock_guard lock(mutex);
    held = true;
  }
  void Let() {
    std::lock_guard lock(mutex);
    held = false;
    changed.notify_all();
  }
  std::condition_variable changed;
  bool held = false;
  std::size_t Batches() {
    std::lock_guard lock(mutex);
    return batches.size();
  }
  std::mutex mutex;
  std::vector<std::vector<KeyInput>> batches;
};

constexpr std::uint32_t kSerial = 777;
constexpr std::uint8_t kA = 31, kS = 32, kUp = 0x80;

KeyCodeRecord Record(std::initializer_list<std::uint8_t> strokes) {
  KeyCodeRecord record;
  record.bytes[0] = static_cast<std::uint8_t>(strokes.size() + 1);
  std::copy(strokes.begin(), strokes.end(), record.bytes.begin() + 1);
  return record;
}

// One keyboard of slot 0 over an in-memory registry, a counting sink and the real clock.
struct KeyboardRig {
  explicit KeyboardRig(std::uint32_t model = kModel01001224,
                       std::chrono::milliseconds workerEndWait = Injector::kWorkerEndWait)
      : endWait(workerEndWait) {
    table.keyPadCount = 1;
    table.slots[0].modelIdentity = model;
    table.slots[0].serialNumber = kSerial;
    table.slots[0].accessState = AccessState::Open;
    view.table = &table;
    kb = MakeSoftKeyboardState(table, 0, SoftKeyLayout::kStandard);
  }
  // The keyboard as it stands after its creation in a client area of 300 x 301.
  void Create(int initialPage = 0) {
    BeginLayout(kb, context);
    FinishLayout(kb, 300, 301);
    OnKeyboardCreated(kb, context, initialPage);
    view.Take();
  }
  StoredGeometry Stored() { return ReadGeometry(settings, kb.modelIdentity, kSerial); }

  KeyPadTable table;
  DeviceKeyCodeCache keyCodes;
  MemorySettings settings;
  std::chrono::milliseconds endWait;
  std::shared_ptr<CountingSink> sinkShare = std::make_shared<CountingSink>();
  CountingSink& sink = *sinkShare;
  Injector injector{sinkShare, std::make_shared<SystemInjectionClock>(), endWait};
  std::atomic<std::uint32_t> touchEnabled{1};
  std::atomic<bool> nonJapaneseLayout{false};
  RecordingView view;
  SoftKeyboardContext context{table,        keyCodes,          settings, injector,
                              touchEnabled, nonJapaneseLayout, view};
  SoftKeyboardState kb;
};

TEST(SoftKeyboardKeys, AClickTypesOnceUnlessTheKeyPadIsInACommand) {
  KeyboardRig rig;
  rig.keyCodes.slots[0][3] = Record({kA, kA | kUp});
  rig.Create();
  OnKeyClicked(rig.kb, rig.context, 3);
  EXPECT_TRUE(rig.injector.WaitUntilIdle(0));
  EXPECT_EQ(rig.sink.Batches(), 1u);

  // While the shell's command works on this key pad (its dialog open), clicks type nothing.
  rig.table.commandActive = true;
  rig.table.commandKeyPad = 0;
  OnKeyClicked(rig.kb, rig.context, 3);
  OnKeyPressed(rig.kb, rig.context, 3);
  EXPECT_TRUE(rig.injector.WaitUntilIdle(0));
  EXPECT_EQ(rig.sink.Batches(), 1u);
  // Another key pad's command does not stop this keyboard.
  rig.table.commandKeyPad = 1;
  OnKeyClicked(rig.kb, rig.context, 3);
  EXPECT_TRUE(rig.injector.WaitUntilIdle(0));
  EXPECT_EQ(rig.sink.Batches(), 2u);
}

// The main thread rewrites the key-code mirror (a key written by the shell's key-code dialog, a
// factory reset) under its lock while the soft keyboard reads it on its own thread. The keyboard
// reads it under that lock, and not at all while the shell's command has the key pad.
TEST(SoftKeyboardKeys, TheMirrorIsReadUnderItsLockAndNotDuringACommand) {
  KeyboardRig rig;
  rig.keyCodes.slots[0][3] = Record({kA, kA | kUp});
  rig.keyCodes.slots[0][4] = Record({kRepeat1, kS, kS | kUp});
  rig.Create();
  // Holds the lock as a writer would, until `release` says so (or a bound runs out).
  struct Writer {
    std::atomic<bool> holding{false}, released{false}, release{false};
    std::thread thread;
    explicit Writer(std::mutex& mutex)
        : thread([this, &mutex] {
            const std::lock_guard lock(mutex);
            holding = true;
            const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!release && std::chrono::steady_clock::now() < bound) std::this_thread::yield();
            released = true;
          }) {
      while (!holding) std::this_thread::yield();
    }
    ~Writer() {
      release = true;
      thread.join();
    }
  };

  {
    // The shell's command has this key pad: neither a press nor a click waits for the mirror.
    rig.table.commandActive = true;
    rig.table.commandKeyPad = 0;
    Writer writer(rig.keyCodes.mutex);
    OnKeyPressed(rig.kb, rig.context, 4);
    OnKeyClicked(rig.kb, rig.context, 3);
    EXPECT_FALSE(writer.released.load());
    rig.table.commandActive = false;
  }
  EXPECT_TRUE(rig.injector.WaitUntilIdle(0));
  EXPECT_EQ(rig.sink.Batches(), 0u);

  {
    // Otherwise a click reads the key once the writer is done with it.
    Writer writer(rig.keyCodes.mutex);
    std::atomic<bool> clicked{false};
    std::thread click([&] {
      OnKeyClicked(rig.kb, rig.context, 3);
      clicked = true;
    });
    const auto begin = std::chrono::steady_clock::now();
    while (!clicked && std::chrono::steady_clock::now() - begin < std::chrono::milliseconds(200))
      std::this_thread::yield();
    EXPECT_FALSE(clicked.load());  // still waiting for the writer
    writer.release = true;
    click.join();
    EXPECT_TRUE(writer.released.load());
  }
  EXPECT_TRUE(rig.injector.WaitUntilIdle(0));
  EXPECT_EQ(rig.sink.Batches(), 1u);
}

TEST(SoftKeyboardKeys, TheKeyboardLayoutReachesTheTyping) {
  KeyboardRig rig;
  rig.keyCodes.slots[0][0] = Record({1, 1 | kUp});  // key number 1: 0x19, or 0xC0 off Japanese
  rig.Create();
  rig.nonJapaneseLayout = true;
  OnKeyClicked(rig.kb, rig.context, 0);
  EXPECT_TRUE(rig.injector.WaitUntilIdle(0));
  ASSERT_EQ(rig.sink.Batches(), 1u);
  EXPECT_EQ(rig.sink.batches[0][0].vk, 0xC0);

  // A held repeating key types in the same layout.
  rig.keyCodes.slots[0][1] = Record({kRepeat1, 1, 1 | kUp});
  OnKeyPressed(rig.kb, rig.context, 1);
  while (rig.sink.Batches() < 2) std::this_thread::yield();
  OnKeyClicked(rig.kb, rig.context, 1);
  EXPECT_TRUE(rig.injector.WaitUntilIdle(0));
  EXPECT_EQ(rig.sink.batches[1][0].vk, 0xC0);
}

TEST(SoftKeyboardKeys, HeldRepeatingKeyStopsOnItsReleaseAndWhenTheWatchSeesItUp) {
  constexpr int kTab = 2, kButton = 6;  // button 6 shows key 0 on page 0, key 48 on page 2
  KeyboardRig rig(kModel0100130D);
  rig.keyCodes.slots[0][0] = Record({kRepeat1, kS, kS | kUp});
  rig.Create();
  OnKeyPressed(rig.kb, rig.context, kButton);
  EXPECT_EQ(rig.kb.heldRepeatButton, kButton);
  EXPECT_TRUE(rig.view.Saw("start 0"));
  EXPECT_EQ(rig.injector.repeatState(0), RepeatState::Repeating);
  // The key pad turns the page while the key is held: the button now shows a plain key, and its
  // release still ends the repetition.
  OnActivePageAnswer(rig.kb, rig.context, true, kTab + 1);
  EXPECT_EQ(rig.kb.currentPage, kTab);
  OnKeyClicked(rig.kb, rig.context, kButton);
  // Checked before waiting: a repetition nobody stops would keep the wait going for good.
  ASSERT_EQ(rig.kb.heldRepeatButton, -1);
  EXPECT_TRUE(rig.injector.WaitUntilIdle(0));
  EXPECT_EQ(rig.injector.repeatState(0), RepeatState::Idle);

  // Held again and let go outside the window (no click): the watch ends it.
  OnActivePageAnswer(rig.kb, rig.context, true, 1);
  OnKeyPressed(rig.kb, rig.context, kButton);
  OnRepeatWatchTick(rig.kb, rig.context, true);
  EXPECT_EQ(rig.injector.repeatState(0), RepeatState::Repeating);
  rig.view.Take();
  OnRepeatWatchTick(rig.kb, rig.context, false);
  ASSERT_TRUE(rig.view.Saw("stop 0"));
  EXPECT_TRUE(rig.injector.WaitUntilIdle(0));
  EXPECT_EQ(rig.injector.repeatState(0), RepeatState::Idle);

  // The second press of a double click comes as a double-click message, not a press: its
  // release alone must not start the repeating key, which no watch would ever end.
  rig.view.Take();
  OnKeyClicked(rig.kb, rig.context, kButton);
  EXPECT_EQ(rig.injector.repeatState(0), RepeatState::Idle);
  EXPECT_FALSE(rig.view.Saw("start 0"));
  rig.injector.EndTyping(0);
}

TEST(SoftKeyboardKeys, AHeldKeyIsHeldWhileItsButtonIsPushedUnderThePointer) {
  SoftKeyboardState kb;
  HeldButtonSample held;
  held.pushed = true;
  held.cursor = {150, 80};
  held.buttonArea = {100, 50, 200, 110};
  held.buttonAtCursor = 7;
  EXPECT_FALSE(HeldButtonStillDown(kb, held));  // no key held
  kb.heldRepeatButton = 7;
  EXPECT_TRUE(HeldButtonStillDown(kb, held));
  // Each condition alone lets the key go.
  HeldButtonSample up = held;
  up.pushed = false;
  EXPECT_FALSE(HeldButtonStillDown(kb, up));
  HeldButtonSample covered = held;
  covered.buttonAtCursor = -1;  // another window over the button
  EXPECT_FALSE(HeldButtonStillDown(kb, covered));
  covered.buttonAtCursor = 8;
  EXPECT_FALSE(HeldButtonStillDown(kb, covered));
  // The area's left and top edges are on the button, its right and bottom edges off it.
  for (const auto& [point, on] :
       {std::pair{ScreenPoint{100, 50}, true}, std::pair{ScreenPoint{199, 109}, true},
        std::pair{ScreenPoint{200, 80}, false}, std::pair{ScreenPoint{150, 110}, false},
        std::pair{ScreenPoint{99, 80}, false}}) {
    HeldButtonSample at = held;
    at.cursor = point;
    EXPECT_EQ(HeldButtonStillDown(kb, at), on) << point.x << "," << point.y;
  }
}

TEST(SoftKeyboardKeys, ClosingCutsADelayShortAndEndsTheRepetition) {
  KeyboardRig rig;
  // Types "a", then would pause 3 x 500 ms before "s".
  rig.keyCodes.slots[0][0] = Record({kA, kA | kUp, kDelay3, kDelay3, kDelay3, kS, kS | kUp});
  rig.keyCodes.slots[0][1] = Record({kRepeat2, kDelay3, kA, kA | kUp});
  rig.Create();
  OnKeyClicked(rig.kb, rig.context, 0);
  while (rig.sink.Batches() == 0) std::this_thread::yield();
  const auto start = std::chrono::steady_clock::now();
  OnClosing(rig.kb, rig.context);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
  EXPECT_FALSE(rig.injector.HasWorker(0));
  EXPECT_EQ(rig.sink.Batches(), 1u);  // "s" never typed

  // The slot types again for the next keyboard; a held repeating key with delays ends as fast.
  KeyboardRig next;
  next.keyCodes.slots[0][1] = Record({kRepeat2, kDelay3, kA, kA | kUp});
  next.Create();
  OnKeyPressed(next.kb, next.context, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto again = std::chrono::steady_clock::now();
  OnClosing(next.kb, next.context);
  EXPECT_LT(std::chrono::steady_clock::now() - again, std::chrono::milliseconds(400));
  EXPECT_EQ(next.injector.repeatState(0), RepeatState::Idle);
}

// The system holds the typing up in a send ("a" pressed) as the keyboard closes: the close goes
// on after the injector's bound, and the typing lets go of "a" once the send returns.
TEST(SoftKeyboardKeys, ClosingDoesNotWaitLongForATypingTheSystemHoldsUp) {
  constexpr std::chrono::milliseconds kEndWait{200};
  KeyboardRig rig(kModel01001224, kEndWait);
  rig.keyCodes.slots[0][0] = Record({kA, kDelay3, kS, kS | kUp, kA | kUp});
  rig.Create();
  rig.sink.Hold();
  OnKeyClicked(rig.kb, rig.context, 0);
  const auto give = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (rig.sink.Batches() == 0 && std::chrono::steady_clock::now() < give) {
    std::this_thread::yield();
  }
  ASSERT_EQ(rig.sink.Batches(), 1u);
  const auto start = std::chrono::steady_clock::now();
  OnClosing(rig.kb, rig.context);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, kEndWait);
  EXPECT_LT(took, kEndWait + std::chrono::milliseconds(1500));
  EXPECT_TRUE(rig.injector.HasWorker(0));
  rig.sink.Let();
  EXPECT_TRUE(rig.injector.WaitUntilIdle(0));
  std::lock_guard lock(rig.sink.mutex);
  ASSERT_EQ(rig.sink.batches.size(), 2u);
  EXPECT_EQ(rig.sink.batches[1], (std::vector<KeyInput>{{0x41, kKeyInputKeyUp, 0}}));
}

TEST(SoftKeyboardPages, InitialPageTabsAndFollowingTheKeyPad) {
  KeyboardRig rig(kModel0100130D);
  BeginLayout(rig.kb, rig.context);
  FinishLayout(rig.kb, 300, 301);
  OnKeyboardCreated(rig.kb, rig.context, 2);
  EXPECT_EQ(rig.kb.currentPage, 2);
  EXPECT_TRUE(rig.view.Saw("check 2"));
  EXPECT_TRUE(rig.view.Saw("start 5"));
  EXPECT_TRUE(rig.view.Saw("show"));
  rig.view.Take();

  // The tick asks; the key pad's answer switches the page.
  OnPageFollowTick(rig.kb, rig.context);
  OnPageFollowTick(rig.kb, rig.context);  // one question at a time
  EXPECT_EQ(rig.view.Take(), std::vector<std::string>{"ask page"});
  OnActivePageAnswer(rig.kb, rig.context, true, 5);
  EXPECT_EQ(rig.kb.currentPage, 4);
  EXPECT_TRUE(rig.view.Saw("check 4"));
  // The tabs are placed again: the current one has its own shape, the others share theirs.
  EXPECT_NE(rig.view.tabs[4].height, rig.view.tabs[1].height);
  EXPECT_EQ(rig.view.tabs[2].height, rig.view.tabs[1].height);
  EXPECT_GT(rig.view.tabs[1].height, 0);

  // Paused while a dialog is open or the console is away.
  rig.view.Take();
  rig.table.modalActive = true;
  OnPageFollowTick(rig.kb, rig.context);
  rig.table.modalActive = false;
  rig.table.consoleInactive = true;
  OnPageFollowTick(rig.kb, rig.context);
  EXPECT_TRUE(rig.view.Take().empty());
  rig.table.consoleInactive = false;

  // A tab click selects the page on the key pad; an answer asked for before it is stale.
  OnPageFollowTick(rig.kb, rig.context);
  OnKeyClicked(rig.kb, rig.context, 1);
  EXPECT_TRUE(rig.view.Saw("select 2"));
  OnActivePageAnswer(rig.kb, rig.context, true, 5);
  EXPECT_EQ(rig.kb.currentPage, 1);
  // Answers outside 1 to 6 and failed reads change nothing.
  OnPageFollowTick(rig.kb, rig.context);
  OnActivePageAnswer(rig.kb, rig.context, true, 7);
  OnPageFollowTick(rig.kb, rig.context);
  OnActivePageAnswer(rig.kb, rig.context, false, 3);
  EXPECT_EQ(rig.kb.currentPage, 1);
}

TEST(SoftKeyboardHeader, CloseHideAndHotKeyChangeWhatIsShown) {
  KeyboardRig rig;
  rig.Create();
  OnHeaderHover(rig.kb, rig.context, HeaderIcon::kHide);
  EXPECT_EQ(rig.view.Take(), std::vector<std::string>{"look 2 1"});
  OnHeaderHover(rig.kb, rig.context, HeaderIcon::kHide);  // unchanged: nothing sent again
  EXPECT_TRUE(rig.view.Take().empty());

  EXPECT_TRUE(OnHeaderReleased(rig.kb, rig.context, HeaderIcon::kHide));
  EXPECT_TRUE(rig.kb.hiddenToIcon);
  EXPECT_FALSE(rig.kb.keyboardShown);
  EXPECT_TRUE(rig.view.Saw("icon shown"));

  // The hot key shows it and forgets the icon; the close icon hides it without the icon.
  rig.view.Take();
  OnHotKeyToggle(rig.kb, rig.context);
  EXPECT_TRUE(rig.kb.keyboardShown);
  EXPECT_FALSE(rig.kb.hiddenToIcon);
  EXPECT_TRUE(rig.view.Saw("icon hidden"));
  rig.view.Take();
  rig.kb.hiddenToIcon = true;  // hidden to the icon once before
  EXPECT_TRUE(OnHeaderPressed(rig.kb, rig.context, HeaderIcon::kClose));
  EXPECT_TRUE(OnHeaderReleased(rig.kb, rig.context, HeaderIcon::kClose));
  EXPECT_FALSE(rig.kb.keyboardShown);
  EXPECT_FALSE(rig.kb.hiddenToIcon);
  EXPECT_FALSE(rig.view.Saw("icon shown"));
  EXPECT_TRUE(rig.view.Saw("look 1 2"));  // pressed, then normal again
  EXPECT_TRUE(rig.view.Saw("look 1 0"));

  // A Locked key pad: the hot key changes nothing but still clears hiddenToIcon.
  rig.kb.hiddenToIcon = true;
  rig.table.slots[0].accessState = AccessState::Locked;
  rig.view.Take();
  OnHotKeyToggle(rig.kb, rig.context);
  OnInfoIconClicked(rig.kb, rig.context);
  EXPECT_FALSE(rig.kb.keyboardShown);
  EXPECT_FALSE(rig.kb.hiddenToIcon);
  EXPECT_TRUE(rig.view.Take().empty());
  EXPECT_FALSE(OnHeaderReleased(rig.kb, rig.context, HeaderIcon::kNone));

  // A keyboard starts hidden while the touch function is off, and while its key pad is Locked.
  for (const bool touchOff : {true, false}) {
    KeyboardRig start;
    if (touchOff) {
      start.touchEnabled = 0;
    } else {
      start.table.slots[0].accessState = AccessState::Locked;
    }
    start.Create();
    EXPECT_FALSE(start.kb.keyboardShown) << (touchOff ? "touch function off" : "Locked");
  }

  // A closing keyboard tells the shell it is neither shown nor hidden to its icon any more.
  KeyboardRig closing;
  closing.Create();
  ASSERT_TRUE(closing.kb.keyboardShown);
  closing.kb.hiddenToIcon = true;
  OnClosing(closing.kb, closing.context);
  EXPECT_FALSE(closing.kb.keyboardShown);
  EXPECT_FALSE(closing.kb.hiddenToIcon);
}

TEST(SoftKeyboardHeader, MenuIconPostsItsCommandsToTheShell) {
  KeyboardRig rig;
  rig.table.keyPadCount = 3;
  rig.kb = MakeSoftKeyboardState(rig.table, 0, SoftKeyLayout::kStandard);
  rig.kb.slot = 2;
  rig.Create();
  rig.view.menuResult = kMenuResultPasswordSetting;
  OnHeaderReleased(rig.kb, rig.context, HeaderIcon::kMenu);
  EXPECT_TRUE(rig.view.modalDuringDialog);
  EXPECT_FALSE(rig.table.modalActive.load());
  EXPECT_EQ(rig.table.selectedKeyPad.load(), 2);
  EXPECT_TRUE(rig.view.Saw("post " + std::to_string(kCommandPasswordSetting) + " 4096"));
  rig.view.menuResult = kMenuResultLock;
  OnHeaderReleased(rig.kb, rig.context, HeaderIcon::kMenu);
  EXPECT_TRUE(rig.view.Saw("post " + std::to_string(kCommandLock) + " 0"));

  // While a shell dialog is open the menu icon opens nothing; a keyboard closed during its
  // dialog posts nothing.
  rig.view.Take();
  rig.table.modalActive = true;
  OnHeaderReleased(rig.kb, rig.context, HeaderIcon::kMenu);
  EXPECT_FALSE(rig.view.Saw("menu dialog"));
  rig.table.modalActive = false;
  OnClosing(rig.kb, rig.context);
  OnMenuIconResult(rig.kb, rig.context, kMenuResultLock);
  EXPECT_FALSE(rig.view.Saw("post " + std::to_string(kCommandLock) + " 0"));
}

TEST(SoftKeyboardMenus, RightClicksAskTheKeyPadFirstAndUseTheSettingsState) {
  KeyboardRig rig;
  rig.Create();
  OnBackgroundRightClick(rig.kb, rig.context, {40, 50}, false);
  EXPECT_EQ(rig.view.Take(), std::vector<std::string>{"ask status"});
  OnStatusAnswer(rig.kb, rig.context, true, 0x81);  // a password, not authenticated
  EXPECT_EQ(rig.view.Take(), std::vector<std::string>{"menu 167 at 40,50"});
  OnStatusAnswer(rig.kb, rig.context, true, 0x81);  // an answer nobody waits for
  EXPECT_TRUE(rig.view.Take().empty());
  // On a header icon, or on no button: nothing is asked and no menu opens.
  OnBackgroundRightClick(rig.kb, rig.context, {40, 50}, true);
  OnButtonRightClick(rig.kb, rig.context, 30, {1, 2});
  OnStatusAnswer(rig.kb, rig.context, true, 0x81);
  EXPECT_TRUE(rig.view.Take().empty());

  // No password: the key menu, for the key the button shows.
  OnButtonRightClick(rig.kb, rig.context, 4, {1, 2});
  OnStatusAnswer(rig.kb, rig.context, true, 0x80);
  EXPECT_TRUE(rig.view.Saw("menu 162 at 1,2"));
  EXPECT_EQ(rig.kb.menuTarget.index, 4);
  EXPECT_EQ(rig.table.slots[0].softKeyAuthenticated.load(), kSoftKeyNoPassword);

  // "設定禁止" set while the status was on its way: no menu.
  rig.view.Take();
  OnButtonRightClick(rig.kb, rig.context, 4, {1, 2});
  rig.table.slots[0].settingsLocked = true;
  OnStatusAnswer(rig.kb, rig.context, true, 0x80);
  OnBackgroundRightClick(rig.kb, rig.context, {1, 2}, false);
  EXPECT_EQ(rig.view.Take(), std::vector<std::string>{"ask status"});
}

TEST(SoftKeyboardMenus, AnAnswerThatComesLateOpensNoMenuOverADialogOrAHiddenKeyboard) {
  // Between the right click and the key pad's answer, a shell dialog opens, or the keyboard is
  // hidden (the hot key, the header icons, the shell): the answer opens nothing.
  const std::function<void(KeyboardRig&)> meanwhile[] = {
      [](KeyboardRig& rig) { rig.table.modalActive = true; },
      [](KeyboardRig& rig) { OnHotKeyToggle(rig.kb, rig.context); },
      [](KeyboardRig& rig) { OnHeaderReleased(rig.kb, rig.context, HeaderIcon::kHide); },
      [](KeyboardRig& rig) { OnVisibilityRequest(rig.kb, rig.context, VisibilityRequest::kHide); },
  };
  for (const auto& change : meanwhile) {
    for (bool onButton : {false, true}) {
      KeyboardRig rig;
      rig.Create();
      if (onButton)
        OnButtonRightClick(rig.kb, rig.context, 4, {1, 2});
      else
        OnBackgroundRightClick(rig.kb, rig.context, {40, 50}, false);
      change(rig);
      rig.view.Take();
      OnStatusAnswer(rig.kb, rig.context, true, 0x81);
      EXPECT_TRUE(rig.view.Take().empty()) << onButton;
      EXPECT_FALSE(rig.kb.pendingMenu.waiting);
      // The answer is used up: a later answer opens nothing either, once all is back.
      rig.table.modalActive = false;
      OnVisibilityRequest(rig.kb, rig.context, VisibilityRequest::kShow);
      rig.view.Take();
      OnStatusAnswer(rig.kb, rig.context, true, 0x81);
      EXPECT_TRUE(rig.view.Take().empty());
    }
  }
}

TEST(SoftKeyboardMenus, TheKeyOfACommandBlinksOnItsTimer) {
  KeyboardRig rig(kModel0100130D);
  rig.Create(3);
  StartBlink(rig.kb, rig.context, KeyTarget(3 * kKeysPerPage + 1));
  EXPECT_EQ(rig.view.Take(), (std::vector<std::string>{"disable 7", "start 10"}));
  OnBlinkTick(rig.kb, rig.context);
  OnBlinkTick(rig.kb, rig.context);
  StopBlink(rig.kb, rig.context);
  EXPECT_EQ(rig.view.Take(),
            (std::vector<std::string>{"enable 7", "disable 7", "stop 10", "enable 7", "repaint"}));
}

TEST(SoftKeyboardGeometry, MovesAndResizesAreStoredOnceTheLayoutIsSet) {
  KeyboardRig rig;
  BeginLayout(rig.kb, rig.context);
  OnMoved(rig.kb, rig.context, {1, 2, 400, 400}, FrameState::kNormal);
  OnResized(rig.kb, rig.context, 300, 301, {1, 2, 400, 400}, FrameState::kNormal);
  EXPECT_EQ(rig.Stored().rect, ScreenRect{});
  EXPECT_TRUE(rig.view.Take().empty());

  FinishLayout(rig.kb, 300, 301);
  EXPECT_EQ(rig.kb.scale.xbase, 300);
  EXPECT_EQ(rig.kb.scale.ybase, 250);
  OnMoved(rig.kb, rig.context, {10, 20, 318, 329}, FrameState::kNormal);
  EXPECT_EQ(rig.Stored().rect, (ScreenRect{10, 20, 318, 329}));
  // Twice as wide: every button doubles; ymag is five times the client height less the header.
  OnResized(rig.kb, rig.context, 600, 351, {10, 20, 618, 379}, FrameState::kNormal);
  const StoredGeometry stored = rig.Stored();
  EXPECT_EQ(stored.rect, (ScreenRect{10, 20, 618, 379}));
  EXPECT_EQ(stored.scale.xmag, 3000);
  EXPECT_EQ(stored.scale.ymag, 1500);
  EXPECT_EQ(stored.scale.xbase, 300);
  EXPECT_EQ(rig.view.placed[0].width, 100);
  EXPECT_EQ(rig.view.placed[0].height, 60);
  // Keys wider than high: their numbers are fitted to the height, not cut off at the bottom.
  EXPECT_TRUE(rig.view.Saw("faces 0 60")) << testing::PrintToString(rig.view.calls);
  // The header icons follow the right edge: close 49 pixels in, the others 50 further each.
  EXPECT_EQ(rig.view.headerIcons[0], (PixelRect{551, 1, 48, 48}));
  EXPECT_EQ(rig.view.headerIcons[2], (PixelRect{451, 1, 48, 48}));

  // The next start restores that grid; closing stops the writes.
  KeyboardRig next;
  WriteGeometryScale(next.settings, next.kb.modelIdentity, kSerial, stored.scale);
  BeginLayout(next.kb, next.context);
  EXPECT_TRUE(next.kb.layoutInitialised);
  EXPECT_EQ(next.kb.scale.xmag, 3000);
  // Placed at the stored size, the grid is the stored one: the buttons as wide as before.
  FinishLayout(next.kb, 600, 351);
  EXPECT_EQ(next.kb.scale.xbase, 300);
  EXPECT_EQ(ButtonRects(next.kb, 600, 351)[0], rig.view.placed[0]);
  OnClosing(rig.kb, rig.context);
  OnMoved(rig.kb, rig.context, {0, 0, 500, 500}, FrameState::kNormal);
  EXPECT_EQ(rig.Stored().rect, (ScreenRect{10, 20, 618, 379}));
}

TEST(SoftKeyboardGeometry, AMaximizedOrMinimizedWindowIsNeitherStoredNorLaidOut) {
  KeyboardRig rig;
  rig.Create();
  OnMoved(rig.kb, rig.context, {10, 20, 318, 329}, FrameState::kNormal);
  const StoredGeometry before = rig.Stored();
  rig.view.Take();
  // The whole screen, and the minimized window far off it with no client area.
  OnMoved(rig.kb, rig.context, {0, 0, 1280, 1024}, FrameState::kMaximized);
  OnResized(rig.kb, rig.context, 1272, 1016, {0, 0, 1280, 1024}, FrameState::kMaximized);
  OnMoved(rig.kb, rig.context, {-32000, -32000, -31840, -31972}, FrameState::kMinimized);
  OnResized(rig.kb, rig.context, 0, 0, {-32000, -32000, -31840, -31972}, FrameState::kMinimized);
  const StoredGeometry after = rig.Stored();
  EXPECT_EQ(after.rect, before.rect);
  EXPECT_EQ(after.scale.xmag, before.scale.xmag);
  EXPECT_EQ(after.scale.ymag, before.scale.ymag);
  EXPECT_TRUE(rig.view.Take().empty());
  EXPECT_EQ(rig.kb.scale.xmag, kStartMag);
}

TEST(SoftKeyboardGeometry, AStoredScaleWhoseGridCannotFitCountsAsMissing) {
  struct Case {
    LayoutScale scale;
    bool used;
  };
  const Case cases[] = {
      {{300, 250, 1500, 1250}, true},  // as stored at the first start
      {{300, 250, 3000, 1500}, true},  // after a resize
      {{3, 250, 1500, 1250}, false},   // an edited xbase: a grid 100 times the window
      {{300, 250, 15, 1250}, false},   // a window 3 pixels wide: zero-sized buttons
      {{900000, 250, 1500, 1250}, false},
      {{300, 2, 1500, 1250}, false},
      // A grid far smaller than its window: keys of 5 x 5 pixels, then just below and at the
      // smallest usable key of 16 pixels.
      {{3000, 2500, 1500, 1250}, false},
      {{1000, 250, 1500, 1250}, false},  // 15 x 50
      {{1000, 250, 1600, 1250}, true},   // 16 x 50
      {{300, 790, 1500, 1250}, false},   // 50 x 15
      {{300, 780, 1500, 1250}, true},    // 50 x 16
  };
  for (const Case& c : cases) {
    KeyboardRig rig;
    WriteGeometryScale(rig.settings, rig.kb.modelIdentity, kSerial, c.scale);
    BeginLayout(rig.kb, rig.context);
    EXPECT_EQ(rig.kb.layoutInitialised, c.used) << c.scale.xbase << " " << c.scale.xmag;
    if (!c.used) {
      EXPECT_EQ(rig.kb.scale.xmag, kStartMag);
    }
  }
}

}  // namespace
}  // namespace qv
