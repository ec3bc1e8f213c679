// The page's cases, grouped by what a user does: connect, authenticate, record and write, files,
// backup and restore, an unplugged key pad, and the pages a browser without WebHID gets.
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";
import { WaitFor } from "./browser.mjs";

const here = path.dirname(fileURLToPath(import.meta.url));

// The demo's key pads, as the emulator numbers them (attach order after its two foreign devices).
const kKeyPad1225 = 3;
const kKeyPad1224 = 4;
const kKeyPad074F = 5;

async function Connect(page) {
  await page.click("#request");
  await WaitFor(page, () => document.querySelectorAll("#key-pads li").length === 3);
}

async function Idle(page) {
  await WaitFor(page, () => document.body.dataset.busy === "0");
}

async function TypePassword(page, password) {
  await WaitFor(page, () => !document.getElementById("password-area").hidden);
  await page.type("#password", password);
  await page.click("#password-ok");
}

async function OpenKeyPad(page, serial, password) {
  await page.click(`#key-pads button[data-serial="${serial}"]`);
  if (password !== undefined) await TypePassword(page, password);
  await Idle(page);
}

async function Messages(page) {
  return page.$$eval("#messages p", (ps) => ps.map((p) => p.textContent));
}

// Records a key code for `key` by typing `codes` (KeyboardEvent codes, each pressed and released
// unless held with "+": "ShiftLeft+KeyB" holds Shift around B).
async function RecordKey(page, key, strokes) {
  await page.click(`#grid button[data-key="${key}"]`);
  await Idle(page);
  await page.click("#capture-start");
  await WaitFor(page, () => !document.getElementById("capture").hidden);
  await page.focus("#capture-area");
  for (const stroke of strokes) {
    const keys = stroke.split("+");
    for (const k of keys) await page.keyboard.down(k);
    for (const k of keys.reverse()) await page.keyboard.up(k);
  }
  await Idle(page);
  await page.click("#capture-ok");
  await Idle(page);
}

async function Write(page, password) {
  await page.click("#write");
  if (password !== undefined) await TypePassword(page, password);
  await WaitFor(page, () => document.getElementById("editor").dataset.lastWrite !== undefined);
  const result = await page.$eval("#editor", (e) => JSON.parse(e.dataset.lastWrite));
  await page.$eval("#editor", (e) => delete e.dataset.lastWrite);
  return result;
}

function Record(page, keyPad, key) {
  return page.evaluate((id, k) => window.qvDemo.record(id, k), keyPad, key);
}

// Runs a page call and hands back the file the page offered for download.
async function CaptureDownloads(page, action) {
  await page.evaluate(() => {
    window.qvDownloads = [];
    const blobs = new Map();
    const createObjectURL = URL.createObjectURL;
    URL.createObjectURL = (blob) => {
      const url = createObjectURL(blob);
      blobs.set(url, blob);
      return url;
    };
    const click = HTMLAnchorElement.prototype.click;
    HTMLAnchorElement.prototype.click = function () {
      if (this.download && blobs.has(this.href)) {
        const name = this.download;
        window.qvDownloads.push(blobs.get(this.href).arrayBuffer().then((b) =>
          ({ name, bytes: Array.from(new Uint8Array(b)) })));
        return;
      }
      click.call(this);
    };
  });
  await action();
  await Idle(page);
  return page.evaluate(async () => Promise.all(window.qvDownloads));
}

function Hex(bytes) {
  return Buffer.from(bytes).toString("hex");
}

export const kTests = [
  {
    name: "Connect.ListsTheThreeDemoKeyPadsThroughTheDeviceFilter",
    async run(rig) {
      const page = await rig.open();
      await Connect(page);
      const items = await page.$$eval("#key-pads button", (bs) => bs.map((b) => b.textContent));
      // Slot order: product ids ascending, as the program's scan.
      assert.match(items[0], /^000007.*B4B4074F.*Bluetooth/);
      assert.match(items[1], /^045678.*01001224.*30 キー.*パスワード/);
      assert.match(items[2], /^000123.*01001225.*144 キー/);
      const filters = await page.evaluate(() => window.qvDemo.lastFilters);
      assert.deepEqual(filters, [{ vendorId: 0xEA7C, usagePage: 0xFFA0 }]);
      assert.deepEqual(page.problems, []);
    },
  },
  {
    name: "Access.PasswordKeyPadAsksAndTakesOnlyItsPassword",
    async run(rig) {
      const page = await rig.open();
      await Connect(page);
      await OpenKeyPad(page, "045678", "0000");
      await WaitFor(page, () => document.getElementById("editor").dataset.refused === "1");
      assert.ok(await page.$eval("#editor", (e) => e.hidden), "a wrong password opened the editor");
      assert.match((await Messages(page)).join("\n"), /パスワードが正しくありません/);
      assert.equal(await page.$eval("#password", (e) => e.value), "");
      await OpenKeyPad(page, "045678", "1234");
      assert.ok(!(await page.$eval("#editor", (e) => e.hidden)),
                "the right password was refused: " + (await Messages(page)).join(" / "));
      assert.equal(await page.$eval("#password", (e) => e.value), "", "the password stayed in the field");
      // The page keeps no password: the next command on the key pad asks again.
      await page.click("#close-editor");
      await page.click('#key-pads button[data-serial="045678"]');
      await WaitFor(page, () => !document.getElementById("password-area").hidden);
      await page.click("#password-cancel");
      await Idle(page);
      assert.ok(await page.$eval("#editor", (e) => e.hidden));
      assert.deepEqual(page.problems, []);
    },
  },
  {
    name: "Editing.KeyRecordedByTypingIsWrittenAndReadBack",
    async run(rig) {
      const page = await rig.open();
      await Connect(page);
      await OpenKeyPad(page, "045678", "1234");
      // A, then Shift held around B: 1F 9F A0 32 B2 20 ... (key numbers of the Japanese table).
      await RecordKey(page, 1, ["KeyA", "ShiftLeft+KeyB"]);
      const rows = await page.$$eval("#key-rows tr", (trs) => trs.map((tr) => tr.textContent));
      assert.equal(rows.length, 6);
      assert.ok(await page.$eval('#grid button[data-key="1"]', (b) => b.classList.contains("changed")));
      const result = await Write(page, "1234");
      assert.deepEqual(result.written, [1], JSON.stringify(result));
      assert.deepEqual(result.failed, []);
      assert.equal((await Record(page, kKeyPad1224, 1)).slice(0, 14), "071f9f2c32b2ac");
      assert.ok(!(await page.$eval('#grid button[data-key="1"]', (b) => b.classList.contains("changed"))));
      assert.deepEqual(page.problems, []);
    },
  },
  {
    name: "Editing.CaptureTakesThePhysicalKeyInEitherLayoutAndButtonsInsertTheSystemsKeys",
    async run(rig) {
      const page = await rig.open();
      await Connect(page);
      await OpenKeyPad(page, "000123");
      const captured = async (strokes, buttons = []) => {
        await page.click('#grid button[data-key="7"]');
        await Idle(page);
        await page.click("#capture-start");
        await WaitFor(page, () => !document.getElementById("capture").hidden);
        await page.focus("#capture-area");
        for (const code of strokes) {
          await page.keyboard.down(code);
          await page.keyboard.up(code);
        }
        for (const button of buttons) await page.click(`#capture-buttons [data-button="${button}"]`);
        await Idle(page);
        const rows = await page.$$eval("#capture-rows tr", (trs) =>
          trs.map((tr) => Array.from(tr.cells, (c) => c.textContent.trim()).join(" ")));
        await page.click("#capture-cancel");
        await Idle(page);
        return rows;
      };
      // The key right of P: "@" on the Japanese 106-key layout, "[" on the other one; the key left
      // of 1: "半角/全角" there, "`" here. Each a press and its release.
      assert.deepEqual(await captured(["BracketLeft", "Backquote"]),
                       ["＠ ON", "＠ OFF", "半角/全角 ON", "半角/全角 OFF"]);
      await page.click("#layout");
      assert.deepEqual(await captured(["BracketLeft", "Backquote"]), ["［ ON", "［ OFF", "‘ ON", "‘ OFF"]);
      await page.click("#layout");
      // Keys the system keeps: the buttons enter them, and the repeat and delay entries.
      assert.deepEqual(await captured([], [6, 2]),
                       ["カタカナひらがな ON", "カタカナひらがな OFF", "[Delay1] SET"]);
      // A shortcut from the user's shortcut.ini.
      await page.click('#grid button[data-key="7"]');
      await Idle(page);
      await page.click("#capture-start");
      await WaitFor(page, () => !document.getElementById("capture").hidden);
      await (await page.$("#shortcut-file")).uploadFile(path.join(here, "..", "..", "res", "shortcut.ini"));
      await WaitFor(page, () => document.querySelectorAll("#shortcut-list option").length > 5);
      await page.select("#shortcut-list", "2");  // CTRL+V, 貼り付け
      await page.click("#shortcut-load");
      await Idle(page);
      assert.deepEqual(await page.$$eval("#capture-rows tr", (trs) =>
        trs.map((tr) => Array.from(tr.cells, (c) => c.textContent.trim()).join(" "))),
                       ["Ctrl(左) ON", "Ｖ ON", "Ｖ OFF", "Ctrl(左) OFF"]);
      await page.click("#capture-cancel");
      await Idle(page);
      // A cancelled capture changes nothing.
      assert.ok(!(await page.$eval('#grid button[data-key="7"]', (b) => b.classList.contains("changed"))));
      assert.deepEqual(page.problems, []);
    },
  },
  {
    name: "Editing.ExtendedSettingsAreWrittenIntoTheStatusByte",
    async run(rig) {
      const page = await rig.open("?demo=1227/0200/555/,1225/0100/123/");
      await page.click("#request");
      await WaitFor(page, () => document.querySelectorAll("#key-pads li").length === 2);
      // A browser tells no version: the user names the key pad's (1227 is sold as v0100 and v0200).
      assert.ok(!(await page.$eval("#version-choice", (e) => e.hidden)));
      assert.match(await page.$eval('#key-pads button[data-serial="000555"]', (b) => b.textContent), /01001227/);
      await page.select("#version-1227", "512");
      await WaitFor(page, () => /02001227/.test(document.getElementById("key-pads").textContent));
      await OpenKeyPad(page, "000123");
      assert.ok(await page.$eval("#settings-open", (b) => b.hidden), "a model without the settings");
      await page.click("#close-editor");
      await OpenKeyPad(page, "000555");
      await page.click("#settings-open");
      await WaitFor(page, () => !document.getElementById("settings").hidden);
      await page.click('input[name="buzzer"][value="2"]');  // 小
      await page.click('input[name="interface"][value="1"]');  // PS/2
      await page.click("#settings-register");
      await Idle(page);
      const result = await Write(page);
      assert.equal(result.settingsWritten, true, JSON.stringify(result));
      const status = await page.evaluate(() => window.qvDemo.status(3));
      assert.equal(status & 0x60, 0x40);  // small
      assert.equal(status & 0x10, 0x10);  // PS/2
    },
  },
  {
    name: "Access.PasswordSettingFactoryResetAndLockRunTheProgramsFlows",
    async run(rig) {
      const page = await rig.open("?demo=1225/0100/123/");
      page.on("dialog", (dialog) => dialog.accept());
      await page.click("#request");
      await WaitFor(page, () => document.querySelectorAll("#key-pads li").length === 1);
      const lastCommand = async () => {
        await WaitFor(page, () => document.getElementById("connect").dataset.lastCommand !== undefined)
          .catch(async (e) => { throw new Error(e.message + " / " + (await Messages(page)).join(" / ") +
            " / password area shown: " + !(await page.$eval("#password-area", (a) => a.hidden)) + " / " + page.problems.join(" / ")); });
        const result = await page.$eval("#connect", (e) => JSON.parse(e.dataset.lastCommand));
        await page.$eval("#connect", (e) => delete e.dataset.lastCommand);
        await Idle(page);
        return result;
      };
      // A password set in the page: the key pad then has one and asks for it.
      await OpenKeyPad(page, "000123");
      await page.click("#password-setting");
      await page.type("#new-password", "Pw42");
      await page.type("#new-password-again", "Pw42");
      await page.click("#registration-ok");
      assert.equal((await lastCommand()).registered, true);
      assert.equal(await page.evaluate(() => window.qvDemo.status(3) & 0x01), 0x01);
      assert.match(await page.$eval('#key-pads button[data-serial="000123"]', (b) => b.textContent), /パスワードあり/);
      assert.equal(await page.$eval("#new-password", (e) => e.value), "");

      // Key 1 changed, then the factory reset (its question answered Yes): the key's default is
      // back and the password gone.
      await OpenKeyPad(page, "000123", "Pw42");
      await RecordKey(page, 1, ["KeyA"]);
      assert.deepEqual((await Write(page, "Pw42")).written, [1]);
      await page.click("#factory-reset");
      await TypePassword(page, "Pw42");
      await TypePassword(page, "Pw42");  // asked again for the run with the answer
      const reset = await lastCommand();
      assert.ok(reset.questions.length >= 1, JSON.stringify(reset));
      assert.equal(await page.evaluate(() => window.qvDemo.status(3) & 0x01), 0);
      assert.notEqual((await Record(page, kKeyPad1225, 1)).slice(0, 6), "021f9f");
      assert.doesNotMatch(await page.$eval('#key-pads button[data-serial="000123"]', (b) => b.textContent), /パスワードあり/);

      // Lock, its question answered Yes: the key pad with a password is no longer authenticated.
      await OpenKeyPad(page, "000123");
      await page.click("#password-setting");
      await page.type("#new-password", "Pw42");
      await page.type("#new-password-again", "Pw42");
      await page.click("#registration-ok");
      assert.equal((await lastCommand()).registered, true);
      assert.equal(await page.evaluate(() => window.qvDemo.status(3) & 0x80), 0x80);
      await page.click("#lock");
      const lock = await lastCommand();
      assert.equal(lock.questions.length, 1, JSON.stringify(lock));
      assert.equal(await page.evaluate(() => window.qvDemo.status(3) & 0x80), 0);
    },
  },
  {
    name: "Files.ExportIsTheProgramsFileAndImportTakesItBack",
    async run(rig) {
      const page = await rig.open();
      await Connect(page);
      await OpenKeyPad(page, "000123");
      // The paged model: six page buttons over 24 keys each.
      assert.equal(await page.$$eval("#pages button", (b) => b.length), 6);
      await page.click("#pages button:nth-child(3)");
      await WaitFor(page, () => document.querySelector("#grid button").dataset.key === "49");
      assert.equal(await page.$$eval("#grid button", (b) => b.length), 24);
      await page.click("#pages button:nth-child(1)");
      await WaitFor(page, () => document.querySelector("#grid button").dataset.key === "1");
      const reference = fs.readFileSync(path.join(here, "reference", "1225_000123.qvk"));
      const exported = await CaptureDownloads(page, () => page.click("#export"));
      assert.equal(exported.length, 1);
      assert.equal(exported[0].name, "1225_000123.qvk");
      assert.equal(Hex(exported[0].bytes), reference.toString("hex"));

      // Key 2 changed on the key pad, then the file imported and written: key 2 is back.
      await RecordKey(page, 2, ["KeyZ"]);
      assert.deepEqual((await Write(page)).written, [2]);
      const before = fs.readFileSync(path.join(here, "reference", "1225_000123.qvk"));
      const file = path.join(rig.tmp, "1225_000123.qvk");
      fs.writeFileSync(file, before);
      const input = await page.$("#import");
      await input.uploadFile(file);
      await WaitFor(page, () => /を読み込みました/.test(document.getElementById("messages").textContent));
      assert.ok(await page.$eval('#grid button[data-key="2"]', (b) => b.classList.contains("changed")));
      const result = await Write(page);
      assert.equal(result.written.length, 144);
      const exportedAgain = await CaptureDownloads(page, () => page.click("#export"));
      assert.equal(Hex(exportedAgain[0].bytes), reference.toString("hex"));

      // Another model's file is refused with the program's message, and nothing changes.
      const foreign = Buffer.from(reference);
      foreign[2] ^= 0x01;  // another product id in the header
      fs.writeFileSync(file, foreign);
      await input.uploadFile(file);
      await WaitFor(page, () => /別の製品|壊れて/.test(document.getElementById("messages").textContent));
      assert.ok(!(await page.$eval('#grid button[data-key="2"]', (b) => b.classList.contains("changed"))));
      assert.deepEqual(page.problems, []);
    },
  },
  {
    name: "Backup.TwoKeyPadsAreBackedUpAndRestoredEachFromItsOwnFile",
    async run(rig) {
      const page = await rig.open("?demo=1225/0100/123/,074f/b4b4/7/");
      await page.click("#request");
      await WaitFor(page, () => document.querySelectorAll("#key-pads li").length === 2);
      const files = await CaptureDownloads(page, () => page.click("#backup"));
      assert.deepEqual(files.map((f) => f.name).sort(), ["074f_000007.qvk", "1225_000123.qvk"]);
      const keyPad074F = 4;  // after the two foreign devices and the 1225
      const originals = [await Record(page, kKeyPad1225, 5), await Record(page, keyPad074F, 5)];

      // Key 5 of both key pads changed in the page.
      for (const serial of ["000123", "000007"]) {
        await OpenKeyPad(page, serial);
        await RecordKey(page, 5, ["KeyQ"]);
        assert.deepEqual((await Write(page)).written, [5]);
        await page.click("#close-editor");
      }
      assert.notEqual(await Record(page, kKeyPad1225, 5), originals[0]);
      assert.notEqual(await Record(page, keyPad074F, 5), originals[1]);

      const paths = files.map((f) => {
        const file = path.join(rig.tmp, f.name);
        fs.writeFileSync(file, Buffer.from(f.bytes));
        return file;
      });
      await (await page.$("#restore")).uploadFile(...paths);
      await WaitFor(page, () => document.getElementById("connect").dataset.lastRestore !== undefined);
      const restored = await page.$eval("#connect", (e) => JSON.parse(e.dataset.lastRestore));
      assert.ok(restored.ok, restored.reports.join("\n"));
      assert.equal(await Record(page, kKeyPad1225, 5), originals[0]);
      assert.equal(await Record(page, keyPad074F, 5), originals[1]);
      assert.deepEqual(page.problems, []);
    },
  },
  {
    name: "Unplug.KeyPadGoneDuringAWriteIsReportedAndNothingCountsAsWritten",
    async run(rig) {
      const page = await rig.open();
      await Connect(page);
      await OpenKeyPad(page, "000123");
      await RecordKey(page, 1, ["KeyA"]);
      await RecordKey(page, 2, ["KeyB"]);
      await RecordKey(page, 3, ["KeyC"]);
      const before = await Record(page, kKeyPad1225, 3);
      // The key pad goes away after the access sequence and the first key's write.
      await page.evaluate((id) => window.qvDemo.unplugAfter(id, 3), kKeyPad1225);
      const result = await Write(page);
      assert.equal(result.ok, false);
      assert.deepEqual(result.written, []);
      assert.deepEqual(result.failed, [1, 2, 3]);
      const shown = (await Messages(page)).join("\n");
      assert.doesNotMatch(shown, /書き込みました/);
      assert.match(shown, /書き込めなかったキー: 1, 2, 3/);
      assert.match(shown, /通信エラー|取り外されました/);
      assert.equal(await Record(page, kKeyPad1225, 3), before);
      // The keys stay changed in the page, to be written again.
      assert.ok(await page.$eval('#grid button[data-key="3"]', (b) => b.classList.contains("changed")));
    },
  },
  {
    name: "Unsupported.PageWithoutWebHidNamesTheBrowsersThatWork",
    async run(rig) {
      const page = await rig.browser.newPage();
      await page.evaluateOnNewDocument(() => {
        delete Navigator.prototype.hid;
      });
      await page.goto(`http://localhost:${rig.port}/`);
      await WaitFor(page, () => document.body.dataset.ready === "1");
      assert.ok(await page.$eval("#connect", (e) => e.hidden), "controls shown without WebHID");
      const text = await page.$eval("#unsupported", (e) => e.hidden ? "" : e.textContent);
      assert.match(text, /Chrome/);
      assert.match(text, /Edge/);
      assert.match(text, /Opera/);

      // Over plain HTTP on another host than localhost the page is no secure context (the rig
      // resolves qv-keypads.test to this machine).
      const insecure = await rig.browser.newPage();
      await insecure.goto(`http://qv-keypads.test:${rig.port}/`);
      await WaitFor(insecure, () => document.body.dataset.ready === "1");
      assert.ok(await insecure.$eval("#connect", (e) => e.hidden));
      assert.match(await insecure.$eval("#unsupported", (e) => e.textContent), /localhost/);
    },
  },
  {
    name: "Unsupported.RefusedOpeningExplainsTheLinuxRule",
    async run(rig) {
      const page = await rig.open();
      await page.evaluate(() => { window.qvDemo.refuseOpen = true; });
      await page.click("#request");
      await WaitFor(page, () => !document.getElementById("refused").hidden);
      const text = await page.$eval("#refused", (e) => e.textContent);
      assert.match(text, /70-qv-keypads\.rules/);
      assert.match(text, /Linux/);
      assert.match(text, /udevadm/);
      assert.equal(await page.$$eval("#key-pads li", (l) => l.length), 0);
    },
  },
  {
    name: "Security.PasswordLeavesNoCopyInTheModulesMemoryOrTheField",
    async run(rig) {
      const page = await rig.open("?demo=1224/0100/45678/Zq8vK3xW");
      await page.click("#request");
      await WaitFor(page, () => document.querySelectorAll("#key-pads li").length === 1);
      // The prompt's answer goes in, the access sequence uses it, and the module's memory is
      // searched at once, before anything else can reuse the freed buffers.
      const found = await page.evaluate(async () => {
        document.getElementById("password").value = "Zq8vK3xW";
        const result = await window.qvPage.withPassword("qv_open_key_pad", ["number"], [0]);
        if (!result.ok) return result;
        const heap = window.qvPage.core.HEAPU8;
        const find = (bytes) => {
          outer: for (let i = 0; i + bytes.length <= heap.length; ++i) {
            for (let j = 0; j < bytes.length; ++j) if (heap[i + j] !== bytes[j]) continue outer;
            return i;
          }
          return -1;
        };
        const ascii = Array.from("Zq8vK3xW", (c) => c.charCodeAt(0));
        const utf16 = ascii.flatMap((c) => [c, 0]);
        return { ascii: find(ascii), utf16: find(utf16),
                 field: document.getElementById("password").value };
      });
      assert.deepEqual(found, { ascii: -1, utf16: -1, field: "" });
    },
  },
  {
    name: "Security.PageAllowsOnlyItsOwnScriptsAndAsksOnlyForTheKeyPads",
    async run(rig) {
      const page = await rig.open();
      const policy = await page.$eval('meta[http-equiv="Content-Security-Policy"]', (m) => m.content);
      assert.match(policy, /default-src 'none'/);
      assert.match(policy, /script-src 'self' 'wasm-unsafe-eval'(;|$)/);
      assert.doesNotMatch(policy, /'unsafe-inline'|'unsafe-eval'|\*|https?:/);
      // An inline script is refused by the policy.
      const ran = await page.evaluate(() => {
        window.qvInline = false;
        const script = document.createElement("script");
        script.textContent = "window.qvInline = true";
        document.body.appendChild(script);
        return window.qvInline;
      });
      assert.equal(ran, false);
      await Connect(page);
      assert.deepEqual(await page.evaluate(() => window.qvDemo.lastFilters),
                       [{ vendorId: 0xEA7C, usagePage: 0xFFA0 }]);
    },
  },
  {
    name: "Packaging.UdevRuleGivesTheSeatUserOnlyTheKeyPadsHidrawNodes",
    async run() {
      const text = fs.readFileSync(path.join(here, "..", "..", "packaging", "linux", "70-qv-keypads.rules"), "utf8");
      const rules = text.split("\n").filter((l) => l.trim() && !l.trim().startsWith("#"));
      assert.ok(rules.length >= 1);
      // udev's glob of one KERNELS match as a regular expression.
      const glob = (pattern) => new RegExp("^" + pattern.replace(/[.+^${}()|\\]/g, "\\$&")
        .replace(/\*/g, ".*").replace(/\?/g, ".") + "$");
      const opens = (hidDevice) => rules.some((rule) => {
        const m = /KERNELS=="([^"]+)"/.exec(rule);
        return m && glob(m[1]).test(hidDevice);
      });
      for (const rule of rules) {
        assert.match(rule, /SUBSYSTEM=="hidraw"/);
        assert.match(rule, /TAG\+="uaccess"/);
        assert.doesNotMatch(rule, /MODE|GROUP|OWNER/);
      }
      assert.ok(opens("0003:EA7C:1225.0001"), "a USB key pad");
      assert.ok(opens("0005:EA7C:074F.0002"), "a Bluetooth LE key pad");
      assert.ok(!opens("0003:046D:C52B.0003"), "another maker's receiver");
      assert.ok(!opens("0003:EA7D:1225.0004"), "another vendor id");
    },
  },
  {
    name: "Benchmark.ReadingAndWritingAll144KeysAgainstTheDeviceTime",
    async run(rig) {
      const page = await rig.open();
      await Connect(page);
      const reference = fs.readFileSync(path.join(here, "reference", "1225_000123.qvk"));
      const kLatencyMs = 2;
      // The best of up to five runs: a busy machine can stall any one of them.
      let best = null;
      for (let run = 0; run < 5 && (best === null || best > 1.10); ++run) {
        // The page's own handlers, timed inside the page: open the key pad (every key read),
        // import a file (every key changed), write (every key written and read back).
        const measured = await page.evaluate(async (ms, bytes) => {
          const p = window.qvPage;
          window.qvDemo.latencyMs = ms;
          window.qvDemo.roundTrips = 0;
          window.qvDemo.deviceMs = 0;
          const start = performance.now();
          await p.openKeyPad(p.keyPads.findIndex((k) => k.serial === "000123"));
          const file = new File([new Uint8Array(bytes)], "1225_000123.qvk");
          await p.importFile({ files: [file], set value(v) {} });
          await p.write();
          const elapsed = performance.now() - start;
          window.qvDemo.latencyMs = 0;
          return { elapsed, roundTrips: window.qvDemo.roundTrips, deviceMs: window.qvDemo.deviceMs,
                   written: JSON.parse(document.getElementById("editor").dataset.lastWrite).written.length };
        }, kLatencyMs, Array.from(reference));
        assert.equal(measured.written, 144);
        // Read all (144) and write and read back each key (288), with the access sequences.
        assert.ok(measured.roundTrips >= 144 * 3, `only ${measured.roundTrips} round trips`);
        assert.ok(measured.deviceMs >= measured.roundTrips * kLatencyMs);
        const ratio = measured.elapsed / measured.deviceMs;
        console.log(`    144 keys read and written: ${measured.elapsed.toFixed(0)} ms for ` +
                    `${measured.roundTrips} round trips of ${kLatencyMs} ms (device time ` +
                    `${measured.deviceMs.toFixed(0)} ms): ${(ratio * 100).toFixed(1)} %`);
        if (best === null || ratio < best) best = ratio;
      }
      // A goal measured, not a rule: on a busy machine the page's share varies from run to run,
      // so the result is printed for the log (as the native benchmarks print theirs) and never
      // fails the run.
      console.log(`    page time: best ${(best * 100).toFixed(1)} % of the device time; goal <= 110 % ` +
                  (best <= 1.10 ? "met" : "NOT met"));
    },
  },
];
