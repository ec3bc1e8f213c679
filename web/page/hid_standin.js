// The demo's stand-in for navigator.hid: the key pad emulator (qv_emulator.wasm) behind the part
// of the WebHID interface the page uses (requestDevice with filters, getDevices, connect and
// disconnect events; a device's open, close, feature reports, output reports and "inputreport"
// events), so the page's own WebHID code runs unchanged. Every emulated collection is one
// device. Each request costs the key pad's round trip time, `latencyMs`: a feature report
// request completes after it (its answer is then at hand), a framed answer arrives after it.
"use strict";

// The key pad's time for one request: the page's thread is held for exactly ms (an event loop
// wait for 2 ms overshoots by milliseconds on a busy machine, and timers are clamped to 4 ms), so
// that the device time of a run is its round trips times ms. Resolves to the time taken.
function PreciseDelay(ms) {
  if (ms <= 0) return Promise.resolve(0);
  const start = performance.now();
  while (performance.now() - start < ms) {
    // the key pad is busy
  }
  return Promise.resolve(performance.now() - start);
}

function Failure(name, message) {
  return new DOMException(message, name);
}

class StandInDevice extends EventTarget {
  constructor(hid, description) {
    super();
    this.hid = hid;
    this.path = description.path;
    this.keyPad = description.keyPad;
    this.vendorId = description.vendorId;
    this.productId = description.productId;
    this.productName = description.keyPad ? "Key pad " + description.productId.toString(16) : "HID";
    const report = (length) =>
      length ? [{ reportId: description.reportId, items: [{ reportSize: 8, reportCount: length - 1 }] }] : [];
    this.collections = [{
      usagePage: description.usagePage,
      usage: description.usage,
      inputReports: report(description.input),
      outputReports: report(description.output),
      featureReports: report(description.feature),
    }];
    this.opened = false;
    this.handle = -1;
    this.gone = false;
  }

  async open() {
    if (this.gone) throw Failure("NotFoundError", "The device is gone.");
    if (this.hid.refuseOpen) throw Failure("NotAllowedError", "Failed to open the device.");
    if (this.opened) return;
    this.handle = this.hid.emulator.ccall("qvemu_open", "number", ["string"], [this.path]);
    if (this.handle < 0) throw Failure("NotAllowedError", "Failed to open the device.");
    this.opened = true;
  }

  async close() {
    if (this.opened) this.hid.emulator.ccall("qvemu_close", null, ["number"], [this.handle]);
    this.opened = false;
  }

  async forget() {
    await this.close();
  }

  // Calls the emulator with the report in its memory; the device's absence afterwards counts.
  withReport(bytes, call) {
    const m = this.hid.emulator;
    const at = m._malloc(Math.max(bytes.length, 1));
    m.HEAPU8.set(bytes, at);
    const result = call(at);
    const out = m.HEAPU8.slice(at, at + bytes.length);
    m._free(at);
    this.hid.noticeDetached();
    return { result, out };
  }

  checkOpen() {
    if (this.gone) throw Failure("NotFoundError", "The device is gone.");
    if (!this.opened) throw Failure("InvalidStateError", "The device must be opened first.");
  }

  async sendFeatureReport(reportId, data) {
    this.checkOpen();
    const bytes = new Uint8Array(1 + data.byteLength);
    bytes[0] = reportId;
    bytes.set(new Uint8Array(data.buffer || data, data.byteOffset || 0, data.byteLength), 1);
    const { result } = this.withReport(bytes, (at) =>
      this.hid.emulator._qvemu_set_feature(this.handle, at, bytes.length));
    this.hid.roundTrips++;
    this.hid.deviceMs += await PreciseDelay(this.hid.latencyMs);
    if (!result || this.gone) throw Failure("NotAllowedError", "Failed to write the feature report.");
  }

  // The answer arrives after the round trip; the view starts with the report id.
  async receiveFeatureReport(reportId) {
    this.checkOpen();
    const length = this.collections[0].featureReports.length
      ? this.collections[0].featureReports[0].items[0].reportCount + 1 : 1;
    const bytes = new Uint8Array(length);
    bytes[0] = reportId;
    const { result, out } = this.withReport(bytes, (at) =>
      this.hid.emulator._qvemu_get_feature(this.handle, at, bytes.length));
    if (!result || this.gone) throw Failure("NotAllowedError", "Failed to receive the feature report.");
    return new DataView(out.buffer);
  }

  async sendReport(reportId, data) {
    this.checkOpen();
    const bytes = new Uint8Array(1 + data.byteLength);
    bytes[0] = reportId;
    bytes.set(new Uint8Array(data.buffer || data, data.byteOffset || 0, data.byteLength), 1);
    const { result } = this.withReport(bytes, (at) =>
      this.hid.emulator._qvemu_write_output(this.handle, at, bytes.length));
    if (!result) throw Failure("NotAllowedError", "Failed to write the report.");
    this.collectInput();
  }

  // Input reports the key pad has sent are delivered after the round trip, in order.
  collectInput() {
    const m = this.hid.emulator;
    const reports = [];
    const at = m._malloc(64);
    for (;;) {
      const n = m._qvemu_read_input(this.handle, at, 64);
      if (n <= 0) break;
      reports.push(m.HEAPU8.slice(at, at + n));
    }
    m._free(at);
    this.hid.noticeDetached();
    if (!reports.length) return;
    this.hid.roundTrips++;
    PreciseDelay(this.hid.latencyMs).then((took) => {
      this.hid.deviceMs += took;
      for (const report of reports) {
        if (this.gone || !this.opened) return;
        const event = new Event("inputreport");
        event.device = this;
        event.reportId = report[0];
        event.data = new DataView(report.buffer, 1);
        this.dispatchEvent(event);
      }
    });
  }
}

class HidStandIn extends EventTarget {
  constructor(emulator, keyPadIds) {
    super();
    this.emulator = emulator;
    this.keyPadIds = keyPadIds;
    this.devices = [];
    this.granted = [];
    this.latencyMs = 0;
    this.roundTrips = 0;
    this.deviceMs = 0;  // the time the key pads took for them
    this.refuseOpen = false;
    this.lastFilters = null;
    for (const description of JSON.parse(emulator.ccall("qvemu_collections", "string", [], []))) {
      this.devices.push(new StandInDevice(this, description));
    }
  }

  static Matches(device, filter) {
    if (filter.vendorId !== undefined && device.vendorId !== filter.vendorId) return false;
    if (filter.productId !== undefined && device.productId !== filter.productId) return false;
    if (filter.usagePage !== undefined &&
        !device.collections.some((c) => c.usagePage === filter.usagePage)) return false;
    if (filter.usage !== undefined &&
        !device.collections.some((c) => c.usage === filter.usage)) return false;
    return true;
  }

  // The demo has no chooser: every present device that matches a filter is granted.
  async requestDevice(options) {
    this.lastFilters = JSON.parse(JSON.stringify(options.filters));
    const chosen = this.devices.filter((d) =>
      !d.gone && options.filters.some((f) => HidStandIn.Matches(d, f)));
    for (const d of chosen) if (!this.granted.includes(d)) this.granted.push(d);
    return chosen;
  }

  async getDevices() {
    return this.granted.filter((d) => !d.gone);
  }

  // Unplugs a key pad (by the emulator's id).
  unplug(keyPad) {
    this.emulator.ccall("qvemu_detach", null, ["number"], [keyPad]);
    this.noticeDetached();
  }

  // The key pad detaches itself after answering this many more requests.
  unplugAfter(keyPad, requests) {
    this.emulator.ccall("qvemu_vanish_after", null, ["number", "number"], [keyPad, requests]);
  }

  noticeDetached() {
    for (const d of this.devices) {
      if (d.gone || !d.keyPad || this.emulator._qvemu_attached(d.keyPad)) continue;
      d.gone = true;
      d.opened = false;
      const event = new Event("disconnect");
      event.device = d;
      this.dispatchEvent(event);
    }
  }

  record(keyPad, key) {
    return JSON.parse(this.emulator.ccall("qvemu_record", "string", ["number", "number"], [keyPad, key]));
  }

  status(keyPad) {
    return this.emulator.ccall("qvemu_status", "number", ["number"], [keyPad]);
  }
}

// Loads the emulator and puts the stand-in where the page looks for navigator.hid. The list is
// QV_DEMO_KEYPADS' form ("PID/VERSION/SERIAL/PASSWORD,..."); empty: the demo's default three.
async function InstallHidStandIn(list) {
  const emulator = await createQvEmulator();
  const keyPadIds = JSON.parse(emulator.ccall("qvemu_attach_demo", "string", ["string"], [list || ""]));
  const standIn = new HidStandIn(emulator, keyPadIds);
  window.qvDemo = standIn;
  return standIn;
}

window.InstallHidStandIn = InstallHidStandIn;
