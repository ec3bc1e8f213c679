// Browser tests of the key-code editor page against the key pad emulator behind the navigator.hid
// stand-in. Usage: node run_tests.mjs SITE_DIR [--filter SUBSTRING]. Prints GoogleTest-style
// lines, which scripts/test.sh counts.
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { Serve, LaunchChromium, WaitFor } from "./browser.mjs";
import { kTests } from "./editor_tests.mjs";

const site = path.resolve(process.argv[2] || "build/web/site");
const filterAt = process.argv.indexOf("--filter");
const filter = filterAt > 0 ? process.argv[filterAt + 1] : "";

const { server, port } = await Serve(site);
const { browser, profile } = await LaunchChromium();
const rig = {
  browser, port, site,
  // A fresh page on the demo; problems the page reports (script errors, policy violations) are
  // collected and fail the test.
  async open(query = "?demo") {
    const page = await browser.newPage();
    page.problems = [];
    page.on("pageerror", (error) => page.problems.push("page error: " + error.message));
    page.on("console", (message) => {
      if (message.type() === "error") page.problems.push("console: " + message.text());
    });
    await page.evaluateOnNewDocument(() => {
      document.addEventListener("securitypolicyviolation", (e) =>
        console.error("policy violation: " + e.violatedDirective + " " + e.blockedURI));
    });
    await page.goto(`http://localhost:${port}/${query}`);
    await WaitFor(page, () => document.body.dataset.ready === "1");
    return page;
  },
  tmp: fs.mkdtempSync(path.join(os.tmpdir(), "qv-web-files-")),
};

let passed = 0;
const failed = [];
const selected = kTests.filter((t) => t.name.includes(filter));
console.log(`[==========] Running ${selected.length} tests from 1 test suite.`);
const started = Date.now();
for (const test of selected) {
  console.log(`[ RUN      ] ${test.name}`);
  const t0 = Date.now();
  try {
    await test.run(rig);
    console.log(`[       OK ] ${test.name} (${Date.now() - t0} ms)`);
    passed++;
  } catch (error) {
    console.log(String(error && error.stack || error));
    console.log(`[  FAILED  ] ${test.name} (${Date.now() - t0} ms)`);
    failed.push(test.name);
  }
  for (const page of await browser.pages()) await page.close().catch(() => {});
}
console.log(`[==========] ${selected.length} tests ran. (${Date.now() - started} ms total)`);
console.log(`[  PASSED  ] ${passed} tests.`);
if (failed.length) {
  console.log(`[  FAILED  ] ${failed.length} tests, listed below:`);
  for (const name of failed) console.log(`[  FAILED  ] ${name}`);
}
await browser.close();
server.close();
fs.rmSync(profile, { recursive: true, force: true });
fs.rmSync(rig.tmp, { recursive: true, force: true });
process.exit(failed.length ? 1 : 0);
