// Pictures of the browser editor for the user guide (docs/images/web-*.png), taken in headless
// Chromium on the demo: node web/test/screenshots.mjs SITE_DIR OUT_DIR
import path from "node:path";
import { Serve, LaunchChromium, WaitFor } from "./browser.mjs";

const site = path.resolve(process.argv[2] || "build/web/site");
const out = path.resolve(process.argv[3] || "docs/images");
const { server, port } = await Serve(site);
const { browser } = await LaunchChromium();
const page = await browser.newPage();
await page.setViewport({ width: 1000, height: 760 });
await page.goto(`http://localhost:${port}/?demo`);
await WaitFor(page, () => document.body.dataset.ready === "1");
const idle = () => WaitFor(page, () => document.body.dataset.busy === "0");

await page.click("#request");
await WaitFor(page, () => document.querySelectorAll("#key-pads li").length === 3);
await page.click('#key-pads button[data-serial="045678"]');
await WaitFor(page, () => !document.getElementById("password-area").hidden);
await page.type("#password", "1234");
await page.screenshot({ path: path.join(out, "web-connect.png") });
await page.click("#password-ok");
await WaitFor(page, () => !document.getElementById("editor").hidden);
await idle();
await page.click('#grid button[data-key="1"]');
await idle();
await page.click("#capture-start");
await WaitFor(page, () => !document.getElementById("capture").hidden);
await page.focus("#capture-area");
await page.keyboard.down("ControlLeft");
await page.keyboard.down("KeyC");
await page.keyboard.up("KeyC");
await page.keyboard.up("ControlLeft");
await idle();
await page.screenshot({ path: path.join(out, "web-capture.png"), fullPage: true });
await page.click("#capture-ok");
await idle();
// The write asks for the password again: the page keeps none.
await page.click("#write");
await WaitFor(page, () => !document.getElementById("password-area").hidden);
await page.type("#password", "1234");
await page.click("#password-ok");
await WaitFor(page, () => document.getElementById("editor").dataset.lastWrite !== undefined);
await page.screenshot({ path: path.join(out, "web-written.png"), fullPage: true });
await browser.close();
server.close();
