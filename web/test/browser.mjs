// The test rig: a static server for the site on localhost and headless Chromium (Debian's, never
// a downloaded one) driven by puppeteer-core, with a fresh profile per run.
import http from "node:http";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import puppeteer from "puppeteer-core";

const kTypes = {
  ".html": "text/html; charset=utf-8", ".js": "text/javascript; charset=utf-8",
  ".css": "text/css; charset=utf-8", ".wasm": "application/wasm",
};

// Serves `root` on 127.0.0.1 (any free port); resolves to { server, port }.
export function Serve(root) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, "http://localhost").pathname);
    const file = path.join(root, name === "/" ? "index.html" : name);
    if (!file.startsWith(root) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, { "Content-Type": kTypes[path.extname(file)] || "application/octet-stream" });
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, "127.0.0.1", () =>
    resolve({ server, port: server.address().port })));
}

export async function LaunchChromium() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "qv-chromium-"));
  const browser = await puppeteer.launch({
    executablePath: process.env.QV_CHROMIUM || "/usr/bin/chromium",
    headless: true,
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync",
           `--user-data-dir=${profile}`, "--host-resolver-rules=MAP qv-keypads.test 127.0.0.1"],
  });
  return { browser, profile };
}

// Waits for a condition in the page, with a generous bound.
export function WaitFor(page, fn, arg, timeout = 20000) {
  return page.waitForFunction(fn, { timeout, polling: 20 }, arg);
}
