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
    const click = HTMLAnchorElement.prototype.click;
    HTMLAnchorElement.prototype.click = function () {
      if (this.download) {
        const anchor = this;
        window.qvDownloads.push(fetch(anchor.href).then((r) => r.arrayBuffer()).then((b) =>
          ({ name: anchor.download, bytes: Array.from(new Uint8Array(b)) })));
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
];
