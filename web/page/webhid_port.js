// The page's side of the HID port (src/device/web/web_hid_system.cpp): the WebAssembly module
// calls these methods as Module.webHid. Each collection of each granted device is one path, as
// the system gives one device interface per collection; a handle is one opening of a
// collection, and an overlapped handle sees only the input reports that arrive after it was
// opened, as the HID class driver queues them.
"use strict";

const kInputKind = 0;
const kOutputKind = 1;
const kFeatureKind = 2;

class WebHidPort {
  constructor() {
    this.devices = [];  // HIDDevice, in the order the page was granted them
    this.handles = new Map();
    this.nextHandle = 1;
    this.refused = [];  // devices whose opening the system refused (no permission)
    this.chosenVersions = {};  // product id: the version the user named (a browser gives none)
  }

  setDevices(devices) {
    this.devices = devices.slice();
  }

  deviceCount() {
    return this.devices.length;
  }

  collectionCount(device) {
    const d = this.devices[device];
    return d ? d.collections.length : 0;
  }

  // Opens the device (once for all its handles) and gives a handle of one collection; -1 when the
  // device is gone or its opening was refused.
  async open(device, collection, overlapped) {
    const d = this.devices[device];
    if (!d || !d.collections[collection]) return -1;
    if (!d.opened) {
      try {
        await d.open();
      } catch (error) {
        if (!this.refused.includes(d)) this.refused.push(d);
        return -1;
      }
    }
    if (!d.qvListening) {
      d.qvListening = true;
      d.addEventListener("inputreport", (event) => this.deliver(d, event));
    }
    const handle = this.nextHandle++;
    this.handles.set(handle, {
      device: d,
      collection: d.collections[collection],
      overlapped,
      queue: [],
      waiter: null,
      gone: false,
    });
    return handle;
  }

  close(handle) {
    const h = this.handles.get(handle);
    if (!h) return;
    this.handles.delete(handle);
    if (h.waiter) h.waiter(undefined);
  }

  // A device that went away: its handles fail from now on.
  forget(device) {
    for (const h of this.handles.values()) {
      if (h.device !== device) continue;
      h.gone = true;
      if (h.waiter) h.waiter(undefined);
    }
  }

  // An input report arrives: every overlapped handle of a collection with that report id keeps a
  // copy, report id first.
  deliver(device, event) {
    const data = new Uint8Array(event.data.buffer, event.data.byteOffset, event.data.byteLength);
    const report = new Uint8Array(data.length + 1);
    report[0] = event.reportId;
    report.set(data, 1);
    for (const h of this.handles.values()) {
      if (h.device !== device || !h.overlapped) continue;
      const ids = (h.collection.inputReports || []).map((r) => r.reportId);
      if (ids.length && !ids.includes(event.reportId)) continue;
      if (h.waiter) h.waiter(report.slice());
      else h.queue.push(report.slice());
    }
  }

  // [vendorId, productId, usagePage, usage, chosen version or 0] into heap[at..]; false for a
  // closed handle.
  ids(handle, heap, at) {
    const h = this.handles.get(handle);
    if (!h || h.gone) return false;
    heap[at] = h.device.vendorId;
    heap[at + 1] = h.device.productId;
    heap[at + 2] = h.collection.usagePage;
    heap[at + 3] = h.collection.usage;
    heap[at + 4] = this.chosenVersions[h.device.productId] || 0;
    return true;
  }

  // The reports of one kind: pairs of report id and the bits of its items.
  reports(handle, kind, heap, at, capacity) {
    const h = this.handles.get(handle);
    if (!h) return 0;
    const lists = [h.collection.inputReports, h.collection.outputReports,
                   h.collection.featureReports];
    const reports = lists[kind] || [];
    let n = 0;
    for (const report of reports) {
      if (n >= capacity) break;
      let bits = 0;
      for (const item of report.items || []) bits += item.reportSize * item.reportCount;
      heap[at + 2 * n] = report.reportId;
      heap[at + 2 * n + 1] = bits;
      ++n;
    }
    return n;
  }

  async sendFeature(handle, report) {
    const h = this.handles.get(handle);
    if (!h || h.gone) return false;
    try {
      await h.device.sendFeatureReport(report[0], report.subarray(1));
      return true;
    } catch (error) {
      return false;
    }
  }

  // The report as the device answered it, report id first; null when it failed.
  async receiveFeature(handle, reportId) {
    const h = this.handles.get(handle);
    if (!h || h.gone) return null;
    try {
      const view = await h.device.receiveFeatureReport(reportId);
      return new Uint8Array(view.buffer, view.byteOffset, view.byteLength);
    } catch (error) {
      return null;
    }
  }

  // An output report; a write that has not completed in timeoutMs counts as failed.
  async sendOutput(handle, report, timeoutMs) {
    const h = this.handles.get(handle);
    if (!h || h.gone) return false;
    let timer = null;
    const timeout = new Promise((resolve) => {
      timer = setTimeout(() => resolve(false), timeoutMs);
    });
    const write = h.device.sendReport(report[0], report.subarray(1)).then(() => true, () => false);
    const result = await Promise.race([write, timeout]);
    clearTimeout(timer);
    return result;
  }

  // The next input report of an overlapped handle: the report, null when none came in
  // timeoutMs, undefined when the handle failed.
  readInput(handle, timeoutMs) {
    const h = this.handles.get(handle);
    if (!h || h.gone || !h.overlapped) return Promise.resolve(undefined);
    if (h.queue.length) return Promise.resolve(h.queue.shift());
    return new Promise((resolve) => {
      const timer = setTimeout(() => {
        h.waiter = null;
        resolve(null);
      }, timeoutMs);
      h.waiter = (report) => {
        clearTimeout(timer);
        h.waiter = null;
        resolve(report);
      };
    });
  }
}

window.WebHidPort = WebHidPort;
