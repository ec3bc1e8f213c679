// The browser editor's page: a view over the core in qv_editor.wasm. It shows what the core
// answers and passes on what the user does; the core decides. With "?demo" the page runs against
// the key pad emulator behind a stand-in for navigator.hid.
"use strict";

const kWorkingBrowsers = "Google Chrome、Microsoft Edge、Opera (いずれもパソコン版)";
const kUnsupportedText =
  "このブラウザは WebHID に対応していないため、キーボードを設定できません。" +
  kWorkingBrowsers + " で開いてください (Firefox と Safari は WebHID に対応していません)。";
const kInsecureText =
  "WebHID は安全な接続のページでしか使えません。https:// のアドレスか、このパソコンの " +
  "http://localhost で開いてください (ファイルとして開いたページや、ほかのホストの http:// では使えません)。";
const kRefusedText =
  "キーボードが見つかりましたが、開くことを拒否されました。\n" +
  "Linux では、ログイン中のユーザーがキーボードの hidraw デバイスを開けるように udev ルールが必要です " +
  "(Windows、macOS、ChromeOS では不要です)。\n" +
  "1. 70-qv-keypads.rules (このページの配布物の linux フォルダー、ソースでは packaging/linux/ にあります) を " +
  "/etc/udev/rules.d/ にコピーします。\n" +
  "2. sudo udevadm control --reload-rules && sudo udevadm trigger を実行します。\n" +
  "3. キーボードを挿し直して、このページで「キーボードを接続」をもう一度押します。\n" +
  "このルールはベンダー 0xEA7C のキーボードだけを開けるようにします。すべての HID デバイスを開けるルールは使わないでください。";
const kNoKeyPadText = "キーボードが接続されていません。";
const kDisconnectedText = "キーボードが取り外されました。";

const $ = (id) => document.getElementById(id);

class Page {
  constructor(hid, core, port) {
    this.hid = hid;
    this.core = core;
    this.port = port;
    this.queue = Promise.resolve();
    this.keyPads = [];
    this.current = null;  // the key pad being edited
    this.page = 1;
    this.selectedKey = 0;
    this.constants = JSON.parse(core.ccall("qv_constants", "string", [], []));
  }

  // One call of the core at a time: a call that waits for a key pad suspends the module until
  // the key pad answers, and nothing else may enter it meanwhile.
  call(name, types = [], args = []) {
    const run = async () => {
      this.setBusy(true);
      try {
        return JSON.parse(await this.core.ccall(name, "string", types, args, { async: true }));
      } finally {
        this.setBusy(false);
      }
    };
    const result = this.queue.then(run, run);
    this.queue = result.catch(() => {});
    return result;
  }

  setBusy(busy) {
    document.body.classList.toggle("busy", busy);
    document.body.dataset.busy = busy ? "1" : "0";
  }

  // The password into the module's memory as UTF-16; the module wipes it after use and the
  // field is emptied at once. Returns [pointer, length] (0, 0 without a password).
  takePassword() {
    const field = $("password");
    const text = field.value;
    field.value = "";
    if (!text) return [0, 0];
    const at = this.core._malloc(text.length * 2 + 2);
    for (let i = 0; i < text.length; ++i) this.core.HEAPU16[(at >> 1) + i] = text.charCodeAt(i);
    return [at, text.length];
  }

  // A call inside the key pad's access sequence. The page keeps no password: when a key pad
  // with a password asks for it, the prompt opens and the call is made again with what the user
  // typed, or not at all when the prompt is cancelled.
  async withPassword(name, types, args) {
    for (;;) {
      const [at, length] = this.takePassword();
      let result;
      try {
        result = await this.call(name, [...types, "number", "number"], [...args, at, length]);
      } finally {
        if (at) this.core._free(at);
      }
      if (!(result.messages || []).includes(this.constants.noPassword)) return result;
      if (!(await this.askPassword())) return result;
    }
  }

  askPassword() {
    // The program's prompt title for the model, else the plain one with the serial number.
    const keyPad = this.current || this.keyPads[this.pending];
    $("password-title").textContent = keyPad.promptTitle || `ユーザー認証 (${keyPad.serial})`;
    $("password-area").hidden = false;
    $("password").focus();
    return new Promise((resolve) => {
      this.passwordAnswer = (ok) => {
        $("password-area").hidden = true;
        this.passwordAnswer = null;
        resolve(ok);
      };
    });
  }

  async withBytes(bytes, use) {
    const at = this.core._malloc(Math.max(bytes.length, 1));
    this.core.HEAPU8.set(bytes, at);
    try {
      return await use(at, bytes.length);
    } finally {
      this.core._free(at);
    }
  }

  say(lines, info = false) {
    const box = $("messages");
    box.textContent = "";
    for (const line of [].concat(lines)) {
      if (!line) continue;
      const p = document.createElement("p");
      if (info) p.className = "info";
      p.textContent = line;
      box.appendChild(p);
    }
  }

  async start() {
    $("version").textContent = "v" + this.constants.version;
    $("connect").hidden = false;
    $("request").addEventListener("click", () => this.request());
    $("layout").addEventListener("change", () => {
      this.core.ccall("qv_set_layout", null, ["number"], [$("layout").checked ? 1 : 0]);
      if (this.selectedKey) this.showKey(this.selectedKey);
    });
    $("backup").addEventListener("click", () => this.backup());
    $("version-1227").addEventListener("change", async () => {
      this.port.chosenVersions[0x1227] = Number($("version-1227").value);
      await this.scan();
    });
    $("restore").addEventListener("change", (e) => this.restore(e.target));
    $("password-ok").addEventListener("click", () => this.passwordAnswer && this.passwordAnswer(true));
    $("password").addEventListener("keydown", (e) => {
      if (e.key === "Enter" && this.passwordAnswer) this.passwordAnswer(true);
    });
    $("password-cancel").addEventListener("click", () => {
      $("password").value = "";
      if (this.passwordAnswer) this.passwordAnswer(false);
    });
    $("capture-start").addEventListener("click", () => this.beginCapture());
    $("capture-area").addEventListener("keydown", (e) => this.captureKey(e, false));
    $("capture-area").addEventListener("keyup", (e) => this.captureKey(e, true));
    for (const button of document.querySelectorAll("#capture-buttons [data-button]")) {
      button.addEventListener("click", () => this.captureButton(Number(button.dataset.button)));
    }
    $("capture-default").addEventListener("click", () => this.captureDefault());
    $("shortcut-file").addEventListener("change", (e) => this.openShortcuts(e.target));
    $("shortcut-load").addEventListener("click", () => this.loadShortcut());
    $("capture-ok").addEventListener("click", () => this.endCapture(true));
    $("capture-cancel").addEventListener("click", () => this.endCapture(false));
    $("write").addEventListener("click", () => this.write());
    $("settings-open").addEventListener("click", () => this.openSettings());
    $("password-setting").addEventListener("click", () => { $("registration").hidden = false; });
    $("registration-cancel").addEventListener("click", () => {
      $("new-password").value = $("new-password-again").value = "";
      $("registration").hidden = true;
    });
    $("registration-ok").addEventListener("click", () => this.command(0));
    $("factory-reset").addEventListener("click", () => this.command(1));
    $("lock").addEventListener("click", () => this.command(2));
    $("settings-register").addEventListener("click", () => this.registerSettings());
    $("settings-cancel").addEventListener("click", () => { $("settings").hidden = true; });
    $("export").addEventListener("click", () => this.exportFile());
    $("import").addEventListener("change", (e) => this.importFile(e.target));
    $("close-editor").addEventListener("click", () => {
      $("editor").hidden = true;
      this.current = null;
    });
    this.hid.addEventListener("disconnect", (event) => this.disconnected(event.device));
    this.hid.addEventListener("connect", () => this.connected());
    this.port.setDevices(await this.hid.getDevices());
    if (this.port.deviceCount()) await this.scan();
    document.body.dataset.ready = "1";
  }

  // Asks for the key pads: only the maker's command collections are offered.
  async request() {
    const filters = [{ vendorId: this.constants.vendorId, usagePage: this.constants.usagePage }];
    try {
      await this.hid.requestDevice({ filters });
    } catch (error) {
      this.say(String(error.message || error));
    }
    this.port.setDevices(await this.hid.getDevices());
    await this.scan();
  }

  async scan() {
    this.port.refused = [];
    this.keyPads = await this.call("qv_scan");
    const list = $("key-pads");
    list.textContent = "";
    this.keyPads.forEach((keyPad, index) => {
      const item = document.createElement("li");
      const button = document.createElement("button");
      button.type = "button";
      button.dataset.serial = keyPad.serial;
      button.textContent = `${keyPad.serial}${keyPad.label}  [${keyPad.model}, ${keyPad.transport}, ` +
        `${keyPad.keyCount} キー]${keyPad.hasPassword ? "  (パスワードあり)" : ""}`;
      button.addEventListener("click", () => this.choose(index));
      item.appendChild(button);
      list.appendChild(item);
    });
    $("version-choice").hidden = !this.keyPads.some((k) => k.versionChoice);
    $("refused").hidden = this.port.refused.length === 0;
    $("refused").textContent = this.port.refused.length ? kRefusedText : "";
    $("backup").disabled = this.keyPads.length === 0;
    $("lock").disabled = this.keyPads.length === 0;
    $("restore").disabled = this.keyPads.length === 0;
    if (!this.keyPads.length && !this.port.refused.length && this.port.deviceCount()) this.say(kNoKeyPadText);
  }

  choose(index) {
    this.pending = index;
    this.current = null;
    $("editor").hidden = true;
    this.openKeyPad(index);
  }

  async openKeyPad(index) {
    const result = await this.withPassword("qv_open_key_pad", ["number"], [index]);
    this.keyPads[index] = result.keyPad || this.keyPads[index];
    if (!result.ok) {
      this.say(result.messages.length ? result.messages : ["キーボードを開けませんでした。"]);
      $("editor").dataset.refused = "1";
      return;
    }
    this.say(result.messages);
    this.current = this.keyPads[index];
    this.page = 1;
    this.selectedKey = 0;
    $("editor-title").textContent = `キーコード設定  ${this.current.serial}${this.current.label}`;
    $("editor").hidden = false;
    $("capture").hidden = true;
    $("settings").hidden = true;
    $("settings-open").hidden = !this.current.extended;
    await this.showGrid();
  }

  async showGrid() {
    const grid = await this.call("qv_key_grid", ["number"], [this.page]);
    const pages = $("pages");
    pages.textContent = "";
    if (grid.paged) {
      for (let page = 1; page <= 6; ++page) {
        const button = document.createElement("button");
        button.type = "button";
        button.textContent = `ページ ${page}`;
        if (page === this.page) button.className = "current";
        button.addEventListener("click", () => {
          this.page = page;
          this.showGrid();
        });
        pages.appendChild(button);
      }
    }
    const box = $("grid");
    box.textContent = "";
    box.style.gridTemplateColumns = `repeat(${grid.columns || 8}, 1fr)`;
    for (const key of grid.keys) {
      const button = document.createElement("button");
      button.type = "button";
      button.textContent = String(key.key);
      button.dataset.key = key.key;
      button.classList.toggle("changed", key.changed);
      button.classList.toggle("selected", key.key === this.selectedKey);
      button.addEventListener("click", () => this.showKey(key.key));
      box.appendChild(button);
    }
  }

  fillRows(table, rows) {
    const body = table.tBodies[0];
    body.textContent = "";
    for (const [key, state] of rows) {
      const tr = body.insertRow();
      tr.insertCell().textContent = key;
      tr.insertCell().textContent = state;
    }
  }

  async showKey(key) {
    this.selectedKey = key;
    const shown = await this.call("qv_key_rows", ["number"], [key]);
    $("key-title").textContent = `キー ${key}`;
    this.fillRows($("key-rows"), shown.rows || []);
    $("capture-start").disabled = false;
    for (const b of $("grid").children) b.classList.toggle("selected", Number(b.dataset.key) === key);
  }

  async beginCapture() {
    const state = await this.call("qv_capture_begin", ["number"], [this.selectedKey]);
    this.fillRows($("capture-rows"), state.rows || []);
    $("capture").hidden = false;
    $("capture-area").focus();
  }

  showCapture(state) {
    this.fillRows($("capture-rows"), state.rows || []);
    if (state.beep) {
      $("capture-area").classList.add("refused");
      setTimeout(() => $("capture-area").classList.remove("refused"), 300);
    }
  }

  captureKey(event, release) {
    const key = QvKeys.VirtualKeyOf(event, $("layout").checked);
    if (!key) return;
    event.preventDefault();
    event.stopPropagation();
    this.call("qv_capture_key", ["number", "number", "number"],
              [key.vk, key.extended ? 1 : 0, release ? 1 : 0]).then((state) => this.showCapture(state));
  }

  async captureButton(button) {
    this.showCapture(await this.call("qv_capture_button", ["number"], [button]));
    $("capture-area").focus();
  }

  async captureDefault() {
    this.showCapture(await this.call("qv_capture_default"));
  }

  // The user's shortcut.ini, read by the core's shortcut rules.
  async openShortcuts(input) {
    const file = input.files[0];
    input.value = "";
    if (!file) return;
    const bytes = new Uint8Array(await file.arrayBuffer());
    const entries = await this.withBytes(bytes, (at, size) =>
      this.call("qv_shortcuts", ["number", "number"], [at, size]));
    const list = $("shortcut-list");
    list.textContent = "";
    entries.forEach(([keyText, description], index) => {
      const option = document.createElement("option");
      option.value = String(index);
      option.textContent = `${description}  (${keyText})`;
      list.appendChild(option);
    });
    list.disabled = $("shortcut-load").disabled = entries.length === 0;
  }

  async loadShortcut() {
    this.showCapture(await this.call("qv_capture_shortcut", ["number"], [Number($("shortcut-list").value)]));
    $("capture-area").focus();
  }

  async endCapture(keep) {
    await this.call("qv_capture_end", ["number"], [keep ? 1 : 0]);
    $("capture").hidden = true;
    await this.showGrid();
    await this.showKey(this.selectedKey);
  }

  // A text field's value into the module's memory as UTF-16 (the module wipes it), the field
  // emptied. Returns [pointer, length].
  takeField(id) {
    const field = $(id);
    const text = field.value;
    field.value = "";
    const at = this.core._malloc(text.length * 2 + 2);
    for (let i = 0; i < text.length; ++i) this.core.HEAPU16[(at >> 1) + i] = text.charCodeAt(i);
    return [at, text.length];
  }

  // Password setting (0), factory reset (1) or lock (2), through the core's access flows. The
  // flow's password prompt and its questions are asked here and the flow is run again with the
  // answer; the new password is taken once and wiped.
  async command(command) {
    // A key pad with a password is asked for it first: the new password can be handed over only
    // once (the module wipes it).
    const keyPad = this.current;
    if (command !== 2 && keyPad && keyPad.hasPassword && !(await this.askPassword())) {
      $("new-password").value = $("new-password-again").value = "";
      $("registration").hidden = true;
      return;
    }
    const [newAt, newLength] = command === 0 ? this.takeField("new-password") : [0, 0];
    const [againAt, againLength] = command === 0 ? this.takeField("new-password-again") : [0, 0];
    $("registration").hidden = true;
    let yes = 0;
    let result;
    try {
      for (;;) {
        const [at, length] = this.takePassword();
        try {
          result = await this.call("qv_command",
            ["number", "number", "number", "number", "number", "number", "number", "number"],
            [command, at, length, newAt, newLength, againAt, againLength, yes]);
        } finally {
          if (at) this.core._free(at);
        }
        // A question (the factory reset's, the lock's) is asked here and the flow run again with
        // the answer; the password setting asks none.
        if (command !== 0 && !yes && result.questions.length &&
            window.confirm(result.questions.join("\n"))) {
          yes = 1;
          if (keyPad && keyPad.hasPassword && !(await this.askPassword())) break;
          continue;
        }
        break;
      }
    } finally {
      for (const at of [newAt, againAt]) if (at) this.core._free(at);
    }
    const lines = [...result.messages];
    if (command === 0) lines.unshift(result.registered ? "パスワードを登録しました。" : "パスワードは登録されませんでした。");
    this.say(lines, result.registered || (yes === 1 && !result.messages.length));
    $("connect").dataset.lastCommand = JSON.stringify(result);
    $("editor").hidden = true;
    this.current = null;
    await this.scan();
  }

  // Dialog 169: the core says which choices are shown, enabled and checked.
  async openSettings() {
    const view = await this.withPassword("qv_settings_open", [], []);
    if (!view.ok) {
      this.say(view.messages);
      return;
    }
    const set = (name, enabled, checked) => {
      for (const radio of document.querySelectorAll(`input[name="${name}"]`)) {
        radio.disabled = !enabled;
        radio.checked = Number(radio.value) === checked;
      }
    };
    set("buzzer", view.buzzerEnabled, view.buzzer);
    set("interface", view.interfaceEnabled, view.interface);
    $("interface").hidden = !view.interfaceShown;
    $("settings").hidden = false;
  }

  async registerSettings() {
    const chosen = (name) => {
      const radio = document.querySelector(`input[name="${name}"]:checked`);
      return radio ? Number(radio.value) : 0;
    };
    await this.call("qv_settings_register", ["number", "number"], [chosen("buzzer"), chosen("interface")]);
    $("settings").hidden = true;
    this.say(["拡張設定を登録しました。「設定終了」で書き込みます。"], true);
  }

  async write() {
    const result = await this.withPassword("qv_write", [], []);
    const lines = [...result.messages];
    if (result.written.length) lines.unshift("書き込みました: キー " + result.written.join(", "));
    if (result.failed.length) lines.push("書き込めなかったキー: " + result.failed.join(", "));
    if (result.settingsWritten) lines.unshift("拡張設定を書き込みました。");
    if (!result.written.length && !result.failed.length && !result.settingsWritten) {
      lines.push("変更されたキーはありません。");
    }
    this.say(lines, result.ok);
    $("editor").dataset.lastWrite = JSON.stringify(result);
    if (this.current) await this.showGrid();
  }

  download(name, hex) {
    const bytes = new Uint8Array(hex.length / 2);
    for (let i = 0; i < bytes.length; ++i) bytes[i] = parseInt(hex.substr(2 * i, 2), 16);
    const link = document.createElement("a");
    link.href = URL.createObjectURL(new Blob([bytes], { type: "application/octet-stream" }));
    link.download = name;
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
  }

  async exportFile() {
    const result = await this.withPassword("qv_export", [], []);
    if (result.ok) {
      this.download(result.name, result.bytes);
      this.say([result.name + " を保存しました。"], true);
    } else {
      this.say(result.messages.length ? result.messages : ["ファイル保存に失敗しました。"]);
    }
  }

  async importFile(input) {
    const file = input.files[0];
    input.value = "";
    if (!file) return;
    const bytes = new Uint8Array(await file.arrayBuffer());
    const result = await this.withBytes(bytes, (at, size) =>
      this.withPassword("qv_import", ["number", "number"], [at, size]));
    this.say(result.ok ? [file.name + " を読み込みました。「設定終了」で書き込みます。"] : result.messages,
             result.ok);
    await this.showGrid();
    if (this.selectedKey) await this.showKey(this.selectedKey);
  }

  async backup() {
    const result = await this.withPassword("qv_backup", [], []);
    for (const file of result.files) this.download(file.name, file.bytes);
    this.say([result.report], result.ok);
    $("connect").dataset.lastBackup = JSON.stringify(result);
  }

  async restore(input) {
    const files = [...input.files];
    input.value = "";
    const reports = [];
    let ok = true;
    for (const file of files) {
      const bytes = new Uint8Array(await file.arrayBuffer());
      const name = file.name;
      const nameAt = this.core._malloc(name.length * 2 + 2);
      for (let i = 0; i < name.length; ++i) this.core.HEAPU16[(nameAt >> 1) + i] = name.charCodeAt(i);
      try {
        const result = await this.withBytes(bytes, (at, size) =>
          this.withPassword("qv_restore", ["number", "number", "number", "number"],
                            [nameAt, name.length, at, size]));
        ok = ok && result.ok;
        reports.push(name + ":\n" + result.report);
      } finally {
        this.core._free(nameAt);
      }
    }
    this.say(reports, ok);
    $("connect").dataset.lastRestore = JSON.stringify({ ok, reports });
    await this.scan();
  }

  // A key pad went away: its handles fail from now on; what the page shows stays (the keys not
  // written stay changed), with a notice below.
  disconnected(device) {
    this.port.forget(device);
    const p = document.createElement("p");
    p.textContent = kDisconnectedText;
    $("messages").appendChild(p);
  }

  // A granted key pad came back: the list is read again, unless a key pad is being edited.
  async connected() {
    if (this.current) return;
    this.port.setDevices(await this.hid.getDevices());
    await this.scan();
  }
}

function LoadScript(src) {
  return new Promise((resolve, reject) => {
    const script = document.createElement("script");
    script.src = src;
    script.onload = resolve;
    script.onerror = reject;
    document.body.appendChild(script);
  });
}

async function Main() {
  const params = new URLSearchParams(location.search);
  let hid = navigator.hid;
  if (params.has("demo")) {
    await LoadScript("qv_emulator.js");
    await LoadScript("hid_standin.js");
    hid = await InstallHidStandIn(params.get("demo"));
    $("demo-note").hidden = false;
  }
  if (!hid || !window.isSecureContext) {
    $("unsupported").hidden = false;
    $("unsupported-text").textContent = !window.isSecureContext ? kInsecureText : kUnsupportedText;
    document.body.dataset.ready = "1";
    return;
  }
  const port = new WebHidPort();
  const core = await createQvEditor({ webHid: port });
  window.qvPage = new Page(hid, core, port);
  await window.qvPage.start();
}

Main();
