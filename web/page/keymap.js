// A key typed into the capture area is a KeyboardEvent; the capture rules take the virtual-key
// code and the extended flag a Windows low-level keyboard hook would have seen for the same
// physical key. KeyboardEvent.code names the physical key (by its place on a US keyboard); the
// virtual-key code of the punctuation keys depends on the layout: the Japanese 106-key layout or
// the other (US) one, as the key table does.
"use strict";

const kExtended = true;

// code: [virtual-key code, extended]; the same on both layouts.
const kCommonKeys = {
  Digit1: [0x31], Digit2: [0x32], Digit3: [0x33], Digit4: [0x34], Digit5: [0x35],
  Digit6: [0x36], Digit7: [0x37], Digit8: [0x38], Digit9: [0x39], Digit0: [0x30],
  Minus: [0xBD], Comma: [0xBC], Period: [0xBE], Slash: [0xBF],
  Backspace: [0x08], Tab: [0x09], Enter: [0x0D], Space: [0x20], Escape: [0x1B],
  CapsLock: [0x14],
  ShiftLeft: [0xA0], ShiftRight: [0xA1], ControlLeft: [0xA2], ControlRight: [0xA3, kExtended],
  AltLeft: [0xA4], AltRight: [0xA5, kExtended], MetaLeft: [0x5B, kExtended],
  MetaRight: [0x5C, kExtended], ContextMenu: [0x5D, kExtended],
  Insert: [0x2D, kExtended], Delete: [0x2E, kExtended], Home: [0x24, kExtended],
  End: [0x23, kExtended], PageUp: [0x21, kExtended], PageDown: [0x22, kExtended],
  ArrowLeft: [0x25, kExtended], ArrowUp: [0x26, kExtended], ArrowRight: [0x27, kExtended],
  ArrowDown: [0x28, kExtended],
  PrintScreen: [0x2C, kExtended], ScrollLock: [0x91], Pause: [0x13],
  NumLock: [0x90, kExtended], NumpadDivide: [0x6F, kExtended], NumpadMultiply: [0x6A],
  NumpadSubtract: [0x6D], NumpadAdd: [0x6B], NumpadEnter: [0x0D, kExtended],
  NumpadDecimal: [0x6E], Numpad0: [0x60], Numpad1: [0x61], Numpad2: [0x62], Numpad3: [0x63],
  Numpad4: [0x64], Numpad5: [0x65], Numpad6: [0x66], Numpad7: [0x67], Numpad8: [0x68],
  Numpad9: [0x69],
  Convert: [0x1C], NonConvert: [0x1D],
};
for (let i = 0; i < 26; ++i) kCommonKeys["Key" + String.fromCharCode(65 + i)] = [65 + i];
for (let i = 1; i <= 24; ++i) kCommonKeys["F" + i] = [0x6F + i];

// The punctuation keys of the Japanese 106-key layout, by their place.
const kJapaneseKeys = {
  Backquote: [0x19],      // 半角/全角 (the system usually keeps it for the input method)
  Equal: [0xDE],          // ^
  IntlYen: [0xDC],        // ¥
  BracketLeft: [0xC0],    // @
  BracketRight: [0xDB],   // [
  Backslash: [0xDD],      // ]
  Semicolon: [0xBB],      // ;
  Quote: [0xBA],          // :
  IntlRo: [0xE2],         // \ _
};

// The same places on the US layout.
const kUsKeys = {
  Backquote: [0xC0], Equal: [0xBB], BracketLeft: [0xDB], BracketRight: [0xDD],
  Backslash: [0xDC], Semicolon: [0xBA], Quote: [0xDE], IntlBackslash: [0xE2],
};


// { vk, extended } for a KeyboardEvent, or null when the key has no virtual-key code here.
function VirtualKeyOf(event, nonJapaneseLayout) {
  const table = nonJapaneseLayout ? kUsKeys : kJapaneseKeys;
  let entry = table[event.code] || kCommonKeys[event.code];
  if (!entry && event.keyCode) {
    // A browser that gives no code (or one unknown here): its keyCode, which is the Windows
    // virtual-key code for letters, digits and most other keys.
    entry = [event.keyCode];
  }
  if (!entry) return null;
  return { vk: entry[0], extended: entry[1] === kExtended };
}

window.QvKeys = { VirtualKeyOf };
