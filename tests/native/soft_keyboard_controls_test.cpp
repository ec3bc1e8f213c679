// The soft keyboard's control decisions and its menu commands against an emulated key pad.
#include "softkbd/soft_keyboard_controls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "device/device_commands.h"
#include "device/device_link.h"
#include "emulator/emulated_hid_system.h"
#include "softkbd/soft_key_commands.h"

namespace qv {
namespace {

TEST(SoftKeyboardControls, HeaderIconHitRectangles) {
  const ScreenRect window{100, 200, 500, 600};
  // Frame 4 x 4: the icons' rows are 205 .. 253; close 447 .. 495, hide 397 .. 445, menu
  // 347 .. 395.
  EXPECT_EQ(HeaderIconAt(window, 4, 4, 495, 205), HeaderIcon::kClose);
  EXPECT_EQ(HeaderIconAt(window, 4, 4, 447, 253), HeaderIcon::kClose);
  EXPECT_EQ(HeaderIconAt(window, 4, 4, 496, 220), HeaderIcon::kNone);
  EXPECT_EQ(HeaderIconAt(window, 4, 4, 446, 220), HeaderIcon::kNone);  // the gap
  EXPECT_EQ(HeaderIconAt(window, 4, 4, 445, 220), HeaderIcon::kHide);
  EXPECT_EQ(HeaderIconAt(window, 4, 4, 397, 220), HeaderIcon::kHide);
  EXPECT_EQ(HeaderIconAt(window, 4, 4, 395, 220), HeaderIcon::kMenu);
  EXPECT_EQ(HeaderIconAt(window, 4, 4, 347, 220), HeaderIcon::kMenu);
  EXPECT_EQ(HeaderIconAt(window, 4, 4, 346, 220), HeaderIcon::kNone);
  EXPECT_EQ(HeaderIconAt(window, 4, 4, 450, 204), HeaderIcon::kNone);
  EXPECT_EQ(HeaderIconAt(window, 4, 4, 450, 254), HeaderIcon::kNone);
}

TEST(SoftKeyboardControls, HeaderIconsArePlacedWhereTheyAreHit) {
  // A client area 392 wide: the icons sit at 343, 293 and 243, one pixel down, 48 x 48.
  const std::array<PixelRect, 3> icons = HeaderIconRects(392);
  EXPECT_EQ(icons[0], (PixelRect{343, 1, 48, 48}));
  EXPECT_EQ(icons[1], (PixelRect{293, 1, 48, 48}));
  EXPECT_EQ(icons[2], (PixelRect{243, 1, 48, 48}));
  // Every picture's pixels hit its own icon, from a window whose client area starts at the frame.
  const ScreenRect window{100, 200, 500, 600};
  constexpr HeaderIcon kOrder[] = {HeaderIcon::kClose, HeaderIcon::kHide, HeaderIcon::kMenu};
  for (int i = 0; i < 3; ++i) {
    const PixelRect& r = icons[i];
    for (auto [x, y] : {std::pair{r.x, r.y}, std::pair{r.x + r.width - 1, r.y + r.height - 1}}) {
      EXPECT_EQ(HeaderIconAt(window, 4, 4, 104 + x, 204 + y), kOrder[i]) << i;
    }
  }
}

TEST(SoftKeyboardControls, InfoIconShowsTheHideIconAndTheSerialOnlyBesideAnotherKeyPad) {
  // It stands for a keyboard hidden to it: the hide icon's picture, bitmap 145.
  EXPECT_EQ(kHeaderBitmapIds[InfoIconPicture()], 145u);
  EXPECT_FALSE(InfoIconShowsSerial(1));
  EXPECT_TRUE(InfoIconShowsSerial(2));
}

TEST(SoftKeyboardControls, InfoIconIsHalfTransparentOnlyWhileItMoves) {
  InfoIconPress press;
  EXPECT_EQ(OnInfoIconEvent(press, InfoIconEvent::kMoved).alpha, 128);
  EXPECT_EQ(OnInfoIconEvent(press, InfoIconEvent::kMoveEnded).alpha, 255);
  EXPECT_EQ(OnInfoIconEvent(press, InfoIconEvent::kShown).alpha, 255);
  const InfoIconReaction click = OnInfoIconEvent(press, InfoIconEvent::kLeftUp);
  EXPECT_TRUE(click.clicked);
  EXPECT_EQ(click.alpha, 255);
  // Only a click brings the keyboard back.
  EXPECT_FALSE(OnInfoIconEvent(press, InfoIconEvent::kMoveEnded).clicked);
}

TEST(SoftKeyboardControls, InfoIconMovesWhenDraggedWithTheLeftButtonAlone) {
  constexpr std::uint32_t kLeft = 0x0001, kRight = 0x0002, kShift = 0x0004;
  InfoIconPress press;
  EXPECT_FALSE(OnInfoIconEvent(press, InfoIconEvent::kLeftDown, 10, 10).startMove);
  // From the press point, 5 pixels away at least.
  EXPECT_FALSE(OnInfoIconEvent(press, InfoIconEvent::kMouseMove, 13, 13, kLeft).startMove);
  EXPECT_TRUE(OnInfoIconEvent(press, InfoIconEvent::kMouseMove, 13, 14, kLeft).startMove);
  // Any other button or key held with it, or no button: no move.
  EXPECT_FALSE(OnInfoIconEvent(press, InfoIconEvent::kMouseMove, 40, 40, kLeft | kRight).startMove);
  EXPECT_FALSE(OnInfoIconEvent(press, InfoIconEvent::kMouseMove, 40, 40, kLeft | kShift).startMove);
  EXPECT_FALSE(OnInfoIconEvent(press, InfoIconEvent::kMouseMove, 40, 40, 0).startMove);
  // A new press counts from its own point.
  OnInfoIconEvent(press, InfoIconEvent::kLeftDown, 40, 40);
  EXPECT_FALSE(OnInfoIconEvent(press, InfoIconEvent::kMouseMove, 42, 42, kLeft).startMove);
}

TEST(SoftKeyboardControls, RightClickMenusInEachSettingsState) {
  constexpr std::uint8_t kPassword = 0x81, kNoPassword = 0x80;
  // The background.
  EXPECT_EQ(BackgroundMenuFor(false, false, true, kPassword, kSoftKeyNotAuthenticated),
            kMenuSettingsLocked);
  EXPECT_EQ(BackgroundMenuFor(false, false, true, kPassword, kSoftKeyAuthenticated),
            kMenuSettingsUnlocked);
  EXPECT_EQ(BackgroundMenuFor(true, false, true, kPassword, kSoftKeyNotAuthenticated), 0u);
  EXPECT_EQ(BackgroundMenuFor(false, true, true, kPassword, kSoftKeyNotAuthenticated), 0u);
  EXPECT_EQ(BackgroundMenuFor(false, false, true, kNoPassword, kSoftKeyNotAuthenticated), 0u);
  EXPECT_EQ(BackgroundMenuFor(false, false, false, kPassword, kSoftKeyNotAuthenticated), 0u);

  // A key: nothing until authenticated on a key pad with a password.
  std::uint8_t auth = kSoftKeyNotAuthenticated;
  EXPECT_EQ(ButtonMenuFor(false, true, kPassword, auth, false, 0, 3).menu, 0u);
  auth = kSoftKeyAuthenticated;
  ButtonMenu menu = ButtonMenuFor(false, true, kPassword, auth, false, 0, 3);
  EXPECT_EQ(menu.menu, kMenuSoftKey);
  EXPECT_EQ(menu.target.index, 3);
  EXPECT_FALSE(menu.target.isPage);
  // No password: the menus are open for good, even while the status cannot be read later.
  auth = kSoftKeyNotAuthenticated;
  EXPECT_EQ(ButtonMenuFor(false, true, kNoPassword, auth, false, 0, 29).menu, kMenuSoftKey);
  EXPECT_EQ(auth, kSoftKeyNoPassword);
  EXPECT_EQ(ButtonMenuFor(false, false, 0, auth, false, 0, 29).menu, kMenuSoftKey);
  // "設定禁止" shows nothing whatever the authentication.
  EXPECT_EQ(ButtonMenuFor(true, true, kNoPassword, auth, false, 0, 0).menu, 0u);
  EXPECT_EQ(ButtonMenuFor(false, true, kNoPassword, auth, false, 0, 30).menu, 0u);
}

TEST(SoftKeyboardControls, PagedButtonsNameTheirKeysAndTabs) {
  std::uint8_t auth = kSoftKeyAuthenticated;
  // Tab 3 shows keys 72 to 95: button 6 is key 72, button 29 key 95.
  EXPECT_EQ(KeyForButton(true, 3, 6), 72);
  EXPECT_EQ(KeyForButton(true, 3, 29), 95);
  const ButtonMenu key = ButtonMenuFor(false, true, 0x81, auth, true, 3, 6);
  EXPECT_EQ(key.menu, kMenuSoftKey);
  EXPECT_EQ(key.target.index, 72);
  const ButtonMenu tab = ButtonMenuFor(false, true, 0x81, auth, true, 3, 2);
  EXPECT_EQ(tab.menu, kMenuSoftKeyPage);
  EXPECT_TRUE(tab.target.isPage);
  EXPECT_EQ(tab.target.index, 2);
  // The blinking button of a target: on its page only.
  EXPECT_EQ(ButtonOfTarget(true, 3, KeyTarget(72)), 6);
  EXPECT_EQ(ButtonOfTarget(true, 2, KeyTarget(72)), -1);
  EXPECT_EQ(ButtonOfTarget(true, 0, PageTarget(5)), 5);
  EXPECT_EQ(ButtonOfTarget(false, 0, KeyTarget(29)), 29);
  EXPECT_EQ(ButtonOfTarget(false, 0, KeyTarget(30)), -1);
}

TEST(SoftKeyboardControls, InfoIconDragThreshold) {
  EXPECT_TRUE(InfoIconDragStarts(10, 10, 13, 14, kMouseKeyLeft));   // 3, 4: squared distance 25
  EXPECT_FALSE(InfoIconDragStarts(10, 10, 13, 13, kMouseKeyLeft));  // 3, 3: 18
  EXPECT_TRUE(InfoIconDragStarts(13, 14, 10, 10, kMouseKeyLeft));
}

// Presses and releases through the hook's decision, with the system saying whether the three
// modifiers are held when a digit is released; returns the slots toggled.
struct HotKeyTyping {
  HotKeyModifiers seen;
  HotKeyModifiers heldNow{true, true, true};
  bool modal = false;
  bool own = false;
  std::vector<int> Type(const std::vector<std::pair<bool, int>>& events) {
    std::vector<int> toggled;
    for (const auto& [up, vk] : events) {
      const int slot = HotKeyEvent(seen, {up, static_cast<std::uint32_t>(vk), own}, modal, heldNow);
      if (slot >= 0) toggled.push_back(slot);
    }
    return toggled;
  }
};

TEST(SoftKeyboardControls, HotKeyActsOnTheDigitsRelease) {
  constexpr bool kDown = false, kUp = true;
  HotKeyTyping keys;
  EXPECT_EQ(
      keys.Type(
          {{kDown, kVkRightControl}, {kDown, kVkRightMenu}, {kDown, kVkLeftShift}, {kDown, '1'}}),
      std::vector<int>{});
  EXPECT_EQ(keys.Type({{kUp, '1'}}), std::vector<int>{1});
  EXPECT_EQ(keys.Type({{kDown, '0'}, {kUp, '0'}}), std::vector<int>{0});
  // Alt released first: the digit's release does nothing.
  EXPECT_EQ(keys.Type({{kDown, '2'}, {kUp, kVkRightMenu}, {kUp, '2'}}), std::vector<int>{});
  EXPECT_EQ(keys.Type({{kUp, kVkRightControl}, {kUp, kVkLeftShift}}), std::vector<int>{});
  // Ctrl is needed too.
  EXPECT_EQ(keys.Type({{kDown, kVkLeftMenu}, {kDown, kVkLeftShift}, {kDown, '4'}, {kUp, '4'}}),
            std::vector<int>{});
}

TEST(SoftKeyboardControls, HotKeyNeedsModifiersReallyHeldAndNotTypedByTheProgram) {
  constexpr bool kDown = false, kUp = true;
  const std::vector<std::pair<bool, int>> modifiers{
      {kDown, kVkLeftControl}, {kDown, kVkLeftMenu}, {kDown, kVkRightShift}};
  // Pressed and released while a shell dialog is open: seen, so nothing stays held afterwards.
  HotKeyTyping keys;
  keys.modal = true;
  EXPECT_EQ(keys.Type(modifiers), std::vector<int>{});
  EXPECT_EQ(keys.Type({{kDown, '3'}, {kUp, '3'}}), std::vector<int>{});  // no hot key meanwhile
  keys.Type({{kUp, kVkLeftControl}, {kUp, kVkLeftMenu}, {kUp, kVkRightShift}});
  keys.modal = false;
  keys.heldNow = {};
  EXPECT_EQ(keys.Type({{kDown, '3'}, {kUp, '3'}}), std::vector<int>{});

  // A release the hook never saw: the system's state decides.
  HotKeyTyping missed;
  missed.Type(modifiers);
  missed.heldNow.control = false;
  EXPECT_EQ(missed.Type({{kDown, '5'}, {kUp, '5'}}), std::vector<int>{});
  missed.heldNow.control = true;
  EXPECT_EQ(missed.Type({{kDown, '5'}, {kUp, '5'}}), std::vector<int>{5});

  // The program's own typing counts for nothing, neither its modifiers nor its digits.
  HotKeyTyping own;
  own.own = true;
  EXPECT_EQ(own.Type(modifiers), std::vector<int>{});
  EXPECT_EQ(own.Type({{kDown, '6'}, {kUp, '6'}}), std::vector<int>{});
  own.own = false;
  EXPECT_EQ(own.Type({{kDown, '6'}, {kUp, '6'}}), std::vector<int>{});
}

TEST(SoftKeyboardControls, ToggleNeedsAWindowThatMayShow) {
  EXPECT_EQ(ToggleActionFor(true, true, true), ToggleAction::kHide);
  EXPECT_EQ(ToggleActionFor(true, true, false), ToggleAction::kShow);
  EXPECT_EQ(ToggleActionFor(true, false, true), ToggleAction::kNothing);   // Locked
  EXPECT_EQ(ToggleActionFor(false, true, false), ToggleAction::kNothing);  // slot 7 of two
}

// ---------------------------------------------------------------- menu commands

// The soft keyboard's side, scripted: what each dialog answers and what happened. The exchanges
// handed over wait in `handed` until the rig plays the exchange thread.
class ScriptedCommandUi : public SoftKeyCommandUi {
 public:
  int dialogResult = 1;
  bool closeDuringDialog = false;
  bool refuseHandOver = false;
  std::function<void()> onKeyInput;
  std::vector<std::string> events;
  std::deque<KeyPadExchange> handed;

  int RunImageDialog(AssetTarget) override { return Dialog("image"); }
  int RunTextDialog(AssetTarget) override { return Dialog("text"); }
  int RunKeyInput(int) override {
    if (onKeyInput) onKeyInput();
    return Dialog("input");
  }
  void RunKeyCheck(int) override { Dialog("check"); }
  int RunSettingsPrompt() override { return Dialog("prompt"); }
  bool WindowOpen() override { return open; }
  void StartBlink(AssetTarget target) override {
    events.push_back("blink " + std::to_string(target.index));
  }
  void StopBlink() override { events.push_back("unblink"); }
  void Relayout() override { events.push_back("relayout"); }
  void Tell(const UiMessage& message) override {
    events.push_back(message.text == kSoftKeyWriteFailedMessage.text ? "tell write failed"
                                                                     : "tell no answer");
  }
  bool StartExchange(KeyPadExchange exchange) override {
    if (refuseHandOver) return false;
    handed.push_back(std::move(exchange));
    return true;
  }
  bool open = true;

 private:
  int Dialog(const char* name) {
    events.push_back(name);
    if (closeDuringDialog) open = false;
    return dialogResult;
  }
};

struct CommandRig {
  EmulatedHidSystem hid{EmulatedHidSystem::ClockMode::kVirtual};
  DeviceContext device{hid};
  KeyPadTable table;
  DeviceKeyCodeCache cache;
  EditedKeyCodes edited;
  SoftKeyCommandContext context{table, device, cache, edited};
  ScriptedCommandUi ui;
  SoftKeyCommandRun run;
  EmulatedDeviceId pad = 0;
  // Key pad requests made inside the command's steps, on the window's thread: there must be none.
  std::size_t requestsInSteps = 0;

  CommandRig() {
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = 0x1224;
    keyPadSpec.status = 0x81;
    pad = hid.AttachKeyPad(keyPadSpec);
    EXPECT_EQ(OpenKeyPad(device, table.slots[1].link, 0x1224, nullptr, 1, false), 1);
    hid.ClearRequests(pad);
  }
  ~CommandRig() { CloseLink(device, table.slots[1].link); }

  // One step of the command on the window's thread.
  template <typename Call>
  SoftKeyCommandResult Step(Call step) {
    const std::size_t before = hid.Requests(pad).size();
    const SoftKeyCommandResult result = step();
    requestsInSteps += hid.Requests(pad).size() - before;
    return result;
  }
  // Runs the first exchange handed over, as the exchange thread does, and gives its answer to the
  // command.
  SoftKeyCommandResult AnswerNext() {
    if (ui.handed.empty()) {
      ADD_FAILURE() << "no exchange was handed over";
      return SoftKeyCommandResult::kRefused;
    }
    const KeyPadExchange exchange = std::move(ui.handed.front());
    ui.handed.pop_front();
    const ExchangeAnswer answer = exchange();
    return Step([&] { return OnSoftKeyCommandAnswer(context, ui, run, answer); });
  }
  // Starts the command and answers its exchanges one by one until it ends.
  SoftKeyCommandResult Run(int slot, std::uint16_t command, AssetTarget target) {
    SoftKeyCommandResult result =
        Step([&] { return StartSoftKeyCommand(context, ui, run, slot, command, target); });
    for (int exchanges = 0; result == SoftKeyCommandResult::kPending && exchanges < 8;
         ++exchanges) {
      result = AnswerNext();
    }
    EXPECT_TRUE(ui.handed.empty());
    return result;
  }

  std::vector<std::uint8_t> Commands() {
    std::vector<std::uint8_t> commands;
    for (const ReceivedRequest& request : hid.Requests(pad)) commands.push_back(request.command);
    return commands;
  }
};

TEST(SoftKeyCommands, KeyInputWritesTheKeyPadThenTheMirror) {
  CommandRig rig;
  KeyCodeRecord typed{};
  typed.bytes = {3, 0x04, 0x84};
  rig.ui.onKeyInput = [&] {
    EXPECT_TRUE(rig.table.modalActive.load());  // no tray command meanwhile
    EXPECT_EQ(rig.table.selectedKeyPad.load(), 1);
    rig.edited.records[29] = typed;
  };
  EXPECT_EQ(rig.Run(1, kCommandKeyInput, KeyTarget(29)), SoftKeyCommandResult::kDone);
  EXPECT_EQ(rig.hid.Record(rig.pad, 30), typed);
  EXPECT_EQ(rig.cache.slots[1][29], typed);
  EXPECT_EQ(rig.edited.selectedKey, 29);
  EXPECT_FALSE(rig.table.modalActive.load());
  EXPECT_EQ(rig.ui.events, (std::vector<std::string>{"blink 29", "input", "unblink"}));
  // Suspended (0x81 -> 0x80) around the dialog, resumed (0x81) after the write.
  EXPECT_EQ(rig.Commands(), (std::vector<std::uint8_t>{kCmdReadDeviceInfo, kCmdWriteStatusByte,
                                                       kCmdWriteKeyCode, kCmdWriteStatusByte}));
  EXPECT_EQ(rig.requestsInSteps, 0u);
  EXPECT_EQ(rig.hid.LastStatusWrite(rig.pad), 0x81);
}

TEST(SoftKeyCommands, AFailedWriteKeepsTheMirrorAndTellsTheUser) {
  CommandRig rig;
  const KeyCodeRecord old = rig.cache.slots[1][4];
  rig.ui.onKeyInput = [&] { rig.edited.records[4].bytes = {2, 0x05}; };
  KeyPadFaults faults;
  faults.vanishAfterRequests = 2;  // answers the status read and write, then is gone
  rig.hid.SetFaults(rig.pad, faults);
  EXPECT_EQ(rig.Run(1, kCommandKeyInput, KeyTarget(4)), SoftKeyCommandResult::kWriteFailed);
  EXPECT_EQ(rig.cache.slots[1][4], old);
  EXPECT_EQ(rig.ui.events.back(), "tell write failed");
}

TEST(SoftKeyCommands, NoWritesWithoutAStatusOrAfterTheWindowWent) {
  {
    CommandRig rig;
    KeyPadFaults faults;
    faults.silent = true;
    rig.hid.SetFaults(rig.pad, faults);
    EXPECT_EQ(rig.Run(1, kCommandKeyImage, KeyTarget(0)), SoftKeyCommandResult::kStatusReadFailed);
    EXPECT_EQ(rig.Commands(), std::vector<std::uint8_t>{kCmdReadDeviceInfo});
    EXPECT_EQ(rig.ui.events, std::vector<std::string>{"tell no answer"});
  }
  {
    CommandRig rig;
    rig.ui.closeDuringDialog = true;
    rig.ui.onKeyInput = [&] { rig.edited.records[0].bytes = {2, 0x05}; };
    EXPECT_EQ(rig.Run(1, kCommandKeyInput, KeyTarget(0)), SoftKeyCommandResult::kWindowClosed);
    // The edited key is not written, but the key pad is resumed on its unchanged link.
    EXPECT_EQ(rig.Commands(), (std::vector<std::uint8_t>{kCmdReadDeviceInfo, kCmdWriteStatusByte,
                                                         kCmdWriteStatusByte}));
    EXPECT_EQ(rig.requestsInSteps, 0u);
    EXPECT_EQ(rig.hid.LastStatusWrite(rig.pad), 0x81);
  }
  {
    // A rescan closed the link during the dialog: nothing more goes to it.
    CommandRig rig;
    rig.ui.closeDuringDialog = true;
    rig.ui.onKeyInput = [&] { CloseLink(rig.device, rig.table.slots[1].link); };
    EXPECT_EQ(rig.Run(1, kCommandKeyInput, KeyTarget(0)), SoftKeyCommandResult::kWindowClosed);
    EXPECT_EQ(rig.Commands(), (std::vector<std::uint8_t>{kCmdReadDeviceInfo, kCmdWriteStatusByte}));
  }
  {
    // A shell dialog is open: the command does not start.
    CommandRig rig;
    rig.table.modalActive = true;
    EXPECT_EQ(rig.Run(1, kCommandKeyText, KeyTarget(0)), SoftKeyCommandResult::kRefused);
    EXPECT_TRUE(rig.Commands().empty());
    EXPECT_TRUE(rig.table.modalActive.load());
  }
}

TEST(SoftKeyCommands, SettingsAuthenticationAndLock) {
  CommandRig rig;
  rig.ui.dialogResult = 1;
  EXPECT_EQ(rig.Run(1, kCommandSettingsAuthenticate, AssetTarget{}), SoftKeyCommandResult::kDone);
  EXPECT_EQ(rig.table.slots[1].softKeyAuthenticated.load(), kSoftKeyAuthenticated);
  EXPECT_TRUE(rig.table.softKeyAuthMode.load());
  EXPECT_EQ(rig.ui.events, std::vector<std::string>{"prompt"});  // no blinking key
  rig.ui.dialogResult = 2;
  rig.Run(1, kCommandSettingsAuthenticate, AssetTarget{});
  EXPECT_EQ(rig.table.slots[1].softKeyAuthenticated.load(), kSoftKeyNotAuthenticated);
  rig.table.slots[1].softKeyAuthenticated = kSoftKeyAuthenticated;
  rig.hid.ClearRequests(rig.pad);
  EXPECT_EQ(rig.Run(1, kCommandSettingsLock, AssetTarget{}), SoftKeyCommandResult::kDone);
  EXPECT_EQ(rig.table.slots[1].softKeyAuthenticated.load(), kSoftKeyNotAuthenticated);
  EXPECT_TRUE(rig.Commands().empty());
  // A page command needs a page target, a key command a key.
  EXPECT_EQ(rig.Run(1, kCommandPageImage, KeyTarget(3)), SoftKeyCommandResult::kRefused);
  EXPECT_EQ(rig.Run(1, kCommandKeyCheck, PageTarget(3)), SoftKeyCommandResult::kRefused);
}

// A picture or caption chosen in its dialog shows at once; a cancelled dialog, or one whose
// keyboard went meanwhile, lays nothing out.
TEST(SoftKeyCommands, AChosenPictureOrCaptionIsLaidOutAtOnce) {
  struct Case {
    std::uint16_t command;
    AssetTarget target;
    const char* dialog;
  };
  const Case cases[] = {{kCommandKeyImage, KeyTarget(3), "image"},
                        {kCommandPageImage, PageTarget(2), "image"},
                        {kCommandKeyText, KeyTarget(3), "text"},
                        {kCommandPageText, PageTarget(2), "text"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    for (const int result : {1, 2}) {
      CommandRig rig;
      rig.ui.dialogResult = result;
      EXPECT_EQ(rig.Run(1, c.command, c.target), SoftKeyCommandResult::kDone);
      const bool laidOut = std::count(rig.ui.events.begin(), rig.ui.events.end(), "relayout") == 1;
      EXPECT_EQ(laidOut, result == 1) << c.dialog << " " << result;
    }
    CommandRig closed;
    closed.ui.closeDuringDialog = true;
    EXPECT_EQ(closed.Run(1, c.command, c.target), SoftKeyCommandResult::kWindowClosed);
    EXPECT_EQ(std::count(closed.ui.events.begin(), closed.ui.events.end(), "relayout"), 0);
  }
}

// The window's thread hands every exchange of a command over and goes back to its messages: the
// command moves on only when the answer comes, opens its dialog only after the key pad was
// suspended, and takes no second command meanwhile.
TEST(SoftKeyCommands, TheWindowNeverWaitsForTheKeyPad) {
  CommandRig rig;
  EXPECT_EQ(rig.Step([&] {
    return StartSoftKeyCommand(rig.context, rig.ui, rig.run, 1, kCommandKeyText, KeyTarget(2));
  }),
            SoftKeyCommandResult::kPending);
  EXPECT_TRUE(rig.Commands().empty());
  EXPECT_EQ(rig.ui.handed.size(), 1u);
  EXPECT_TRUE(rig.table.modalActive.load());
  // A second command of this keyboard while the first one waits: refused, the first goes on.
  EXPECT_EQ(rig.Step([&] {
    return StartSoftKeyCommand(rig.context, rig.ui, rig.run, 1, kCommandKeyImage, KeyTarget(2));
  }),
            SoftKeyCommandResult::kRefused);
  EXPECT_EQ(rig.AnswerNext(), SoftKeyCommandResult::kPending);  // the status: 0x81
  EXPECT_TRUE(rig.ui.events.empty());                           // not before the suspend
  EXPECT_EQ(rig.AnswerNext(), SoftKeyCommandResult::kPending);  // suspended: the dialog ran
  EXPECT_EQ(rig.ui.events, (std::vector<std::string>{"blink 2", "text", "relayout", "unblink"}));
  EXPECT_TRUE(rig.table.modalActive.load());
  EXPECT_EQ(rig.AnswerNext(), SoftKeyCommandResult::kDone);  // resumed
  EXPECT_FALSE(rig.table.modalActive.load());
  EXPECT_EQ(rig.requestsInSteps, 0u);
  EXPECT_EQ(rig.Commands(), (std::vector<std::uint8_t>{kCmdReadDeviceInfo, kCmdWriteStatusByte,
                                                       kCmdWriteStatusByte}));
  // An answer nobody waits for changes nothing.
  EXPECT_EQ(rig.Step([&] {
    return OnSoftKeyCommandAnswer(rig.context, rig.ui, rig.run, ExchangeAnswer{true, 0x81});
  }),
            SoftKeyCommandResult::kRefused);
  EXPECT_TRUE(rig.ui.handed.empty());
}

// The window goes while its command waits for the key pad: the answer will never reach it. A
// suspended key pad is resumed all the same, and the shell may start commands again.
TEST(SoftKeyCommands, AWindowClosedWhileWaitingResumesItsKeyPad) {
  {
    CommandRig rig;
    rig.ui.onKeyInput = [&] { rig.edited.records[5].bytes = {2, 0x05}; };
    rig.Step([&] {
      return StartSoftKeyCommand(rig.context, rig.ui, rig.run, 1, kCommandKeyInput, KeyTarget(5));
    });
    rig.AnswerNext();  // status
    rig.AnswerNext();  // suspended; the dialog stored a code, the key write is handed over
    ASSERT_EQ(rig.run.step, SoftKeyCommandStep::kWritingKey);
    const KeyCodeRecord old = rig.cache.slots[1][5];
    rig.ui.open = false;
    AbandonSoftKeyCommand(rig.context, rig.ui, rig.run);
    EXPECT_FALSE(rig.table.modalActive.load());
    EXPECT_EQ(rig.run.step, SoftKeyCommandStep::kIdle);
    // The exchange thread finishes what it was handed: the key write, then the resume.
    ASSERT_EQ(rig.ui.handed.size(), 2u);
    for (; !rig.ui.handed.empty(); rig.ui.handed.pop_front()) rig.ui.handed.front()();
    EXPECT_EQ(rig.hid.LastStatusWrite(rig.pad), 0x81);
    EXPECT_EQ(rig.cache.slots[1][5], old);  // no answer reached the mirror
  }
  {
    // Still reading the status: nothing was suspended, nothing is written.
    CommandRig rig;
    rig.Step([&] {
      return StartSoftKeyCommand(rig.context, rig.ui, rig.run, 1, kCommandKeyImage, KeyTarget(0));
    });
    AbandonSoftKeyCommand(rig.context, rig.ui, rig.run);
    EXPECT_FALSE(rig.table.modalActive.load());
    ASSERT_EQ(rig.ui.handed.size(), 1u);
    rig.ui.handed.front()();
    EXPECT_EQ(rig.Commands(), std::vector<std::uint8_t>{kCmdReadDeviceInfo});
  }
  {
    // The exchanges cannot be handed over (the exchange thread could not start): the command
    // ends as with a silent key pad, and nothing is written.
    CommandRig rig;
    rig.ui.refuseHandOver = true;
    EXPECT_EQ(rig.Run(1, kCommandKeyImage, KeyTarget(0)), SoftKeyCommandResult::kStatusReadFailed);
    EXPECT_EQ(rig.ui.events, std::vector<std::string>{"tell no answer"});
    EXPECT_FALSE(rig.table.modalActive.load());
    EXPECT_TRUE(rig.Commands().empty());
  }
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

TEST(SoftKeyboardControls, TabUnderlineSitsUnderTheFirstRow) {
  // 6 x 5 cells of 10 units at 300 x 250 pixels: row 0 ends 50 pixels below the header.
  const TabUnderline line = TabUnderlineFor(StandardLayout(), LayoutScale{60, 50, 300, 250}, 300);
  EXPECT_EQ(line.dark, (ScreenRect{1, 99, 298, 100}));
  EXPECT_EQ(line.light, (ScreenRect{1, 100, 298, 101}));
}

}  // namespace
}  // namespace qv
