// The page in a real browser (Debian's chromium, driven headless by
// playwright-core): it is opened from disk, scenes are chosen, the tiles are
// read, every card is saved and compared byte for byte with the card the
// Linux program writes for the same scene and path text; a file that is no
// scene says so; and no request leaves the page after it loaded.
//
// usage: node page_test.mjs <cardlift.html> <cardlift> <demo scene> <cast scene> <artifact dir>
import { chromium } from "playwright-core";
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";

const [pagePath, tool, demoScene, castScene, artifacts, laterScene] = process.argv.slice(2).map((p) => path.resolve(p));
let failures = 0, passes = 0;
function check(ok, what) {
  console.log((ok ? "ok   " : "FAIL ") + what);
  if (!ok) failures++;
  else passes++;
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), "cardlift-page-"));
// The scenes under the names the page will see, and a file that is no scene.
const scenes = path.join(work, "scenes");
fs.mkdirSync(scenes);
fs.copyFileSync(demoScene, path.join(scenes, "demo_scene.png"));
fs.copyFileSync(castScene, path.join(scenes, "cast.png"));
fs.writeFileSync(path.join(scenes, "notes.txt"), "not a scene\n".repeat(20));
// The native cards, each scene named by its file name alone, as the page
// names it.
const native = path.join(work, "native");
fs.mkdirSync(native);
for (const name of ["demo_scene.png", "cast.png"]) {
  fs.copyFileSync(path.join(scenes, name), path.join(native, name));
  execFileSync(tool, [name], { cwd: native, stdio: "ignore" });
  fs.rmSync(path.join(native, name));
}
const nativeCards = fs.readdirSync(native).sort();

const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync"],
});
const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1100, height: 900 } });
// No folder picker here: "Save all" saves as downloads.
await context.addInitScript(() => { delete window.showDirectoryPicker; });
const page = await context.newPage();
const errors = [];
page.on("pageerror", (e) => errors.push(String(e)));
await page.goto("file://" + path.resolve(pagePath));
await page.waitForLoadState("load");
const requests = [];
page.on("request", (r) => { if (!/^(blob|data):/.test(r.url())) requests.push(r.url()); });
// The page itself, opened again below for the phone, is no request of the page's.
context.on("request", (r) => {
  if (!/^(blob|data):/.test(r.url()) && r.url() !== "file://" + path.resolve(pagePath)) requests.push(r.url());
});

await page.setInputFiles("#pick", ["demo_scene.png", "cast.png", "notes.txt"].map((n) => path.join(scenes, n)));
await page.waitForFunction(() => document.querySelectorAll("section.scene progress").length === 0 &&
                                 document.querySelectorAll("section.scene").length === 3, null, { timeout: 60000 });
const shown = await page.$$eval("section.scene", (sections) => sections.map((s) => ({
  title: s.querySelector("h2").textContent,
  status: s.querySelector(".status").textContent,
  tiles: [...s.querySelectorAll(".tile")].map((t) => t.innerText),
})));
check(shown[0].title === "demo_scene.png" && shown[0].tiles.length === 5, "demo scene: five records, " + shown[0].tiles.length + " tiles");
check(shown[0].tiles.filter((t) => t.includes("Duplicate of")).length === 1, "demo scene: one duplicate, said in words");
check(shown[1].tiles.length === 4 && shown[1].tiles[0].includes("\u6625\u91ce \u5343\u4f73") &&
      shown[1].tiles[1].includes("Kurosaki Ren"), "cast: four tiles with the characters' names");
check(shown[1].status.startsWith("3 characters, 1 duplicate skipped"), "cast: " + shown[1].status);
check(shown[1].tiles[0].includes("No mods needed") && shown[1].tiles[1].includes("Needs 2 mods"),
      "cast: each tile says how many mods its character needs");
const needed = await page.$$eval("section.scene", (sections) => sections.map((s) => {
  const box = s.querySelector("details.needed");
  return box ? box.querySelector("summary").textContent + "\n" + box.querySelector("pre").textContent : "";
}));
check(needed[0] === "" && needed[1].startsWith("Mods needed: 2\nRealistic Nipples (k1t0.nipples) by K1T0") &&
      needed[1].includes("sjjpl.Female25 by sjjpl — 1 character") && needed[1].includes("Plugins: moreAccessories"),
      "cast: the scene's mods needed, as text to copy: " + JSON.stringify(needed[1]));
check(shown[2].status.includes("Not a scene file"), "notes.txt: " + shown[2].status);
fs.mkdirSync(artifacts, { recursive: true });
await page.screenshot({ path: path.join(artifacts, "page.png"), fullPage: true });

// Save all, as downloads, and compare with the native cards.
const saved = path.join(work, "saved");
fs.mkdirSync(saved);
const downloads = [];
page.on("download", (d) => downloads.push(d.saveAs(path.join(saved, d.suggestedFilename()))));
await page.click("#save-all");
const deadline = Date.now() + 30000;
while (downloads.length < nativeCards.length && Date.now() < deadline) await new Promise((r) => setTimeout(r, 100));
await Promise.all(downloads);
const savedCards = fs.readdirSync(saved).sort();
check(JSON.stringify(savedCards) === JSON.stringify(nativeCards),
      "saved the native card names: " + savedCards.join(", "));
for (const name of nativeCards) {
  const a = fs.existsSync(path.join(saved, name)) ? fs.readFileSync(path.join(saved, name)) : Buffer.alloc(0);
  check(a.equals(fs.readFileSync(path.join(native, name))), name + ": the same bytes as the program's");
}
// A scene without characters, and an Emotion Creators card, say so in one sentence.
const demoBytes = fs.readFileSync(demoScene);
const iend = demoBytes.indexOf(Buffer.from("IEND")) + 8;
fs.writeFileSync(path.join(scenes, "empty.png"), Buffer.concat([demoBytes.subarray(0, iend), Buffer.alloc(64, 46)]));
fs.writeFileSync(path.join(scenes, "ec.png"), Buffer.concat([demoBytes.subarray(0, iend), Buffer.alloc(20, 46),
  Buffer.from("\u3010EroMakeChara\u3011"), Buffer.alloc(64, 46)]));
fs.copyFileSync(laterScene, path.join(scenes, "later.png"));
await page.setInputFiles("#pick", ["empty.png", "ec.png", "later.png"].map((n) => path.join(scenes, n)));
await page.waitForFunction(() => document.querySelectorAll("section.scene progress").length === 0 &&
                                 document.querySelectorAll("section.scene").length === 6, null, { timeout: 60000 });
const statusOf = (title) => page.$$eval("section.scene", (ss, t) => {
  const s = ss.find((x) => x.querySelector("h2").textContent === t);
  return s ? { status: s.querySelector(".status").textContent, tiles: s.querySelectorAll(".tile").length } : null;
}, title);
const empty = await statusOf("empty.png");
check(empty && empty.status === "No characters found.", "a scene without characters: " + JSON.stringify(empty));
const ec = await statusOf("ec.png");
check(ec && ec.status.includes("Emotion Creators") && !ec.status.endsWith(".."), "an Emotion Creators card: " + JSON.stringify(ec));
// Later games by default; the switch scans everything loaded again.
check(await page.isChecked("#newer"), "later games are found by default");
const later = await statusOf("later.png");
check(later && later.tiles === 2 && later.status.startsWith("2 characters"), "later games: both characters: " + JSON.stringify(later));
await page.uncheck("#newer");
await page.waitForFunction(() => document.querySelectorAll("section.scene progress").length === 0 &&
                                 document.querySelectorAll("section.scene").length === 6, null, { timeout: 60000 });
const without = await statusOf("later.png");
check(without && without.tiles === 1 && without.status.includes("1 more of later games"),
      "the switch off scans again: " + JSON.stringify(without));
// A disabled button looks disabled.
const fresh = await context.newPage();
await fresh.goto("file://" + path.resolve(pagePath));
const look = await fresh.$eval("#save-all", (b) => [getComputedStyle(b).backgroundColor, getComputedStyle(b).cursor]);
const enabled = await page.$eval("#save-all", (b) => getComputedStyle(b).backgroundColor);
check(look[1] === "not-allowed" && look[0] !== enabled, "a disabled Save all looks disabled: " + look.join(", "));
// On a phone: two cards a row, file names broken only after an underscore.
await fresh.setViewportSize({ width: 390, height: 844 });
await fresh.setInputFiles("#pick", [path.join(scenes, "demo_scene.png")]);
await fresh.waitForFunction(() => document.querySelectorAll(".tile").length === 5, null, { timeout: 60000 });
const rows = await fresh.$$eval(".tile", (ts) => ts.map((t) => Math.round(t.getBoundingClientRect().top)));
check(rows.filter((top) => top === rows[0]).length === 2, "phone: two cards a row: " + rows.join(", "));
const parts = await fresh.$$eval(".tile .file", (fs) => fs.map((f) => {
  const range = document.createRange(), lines = [];
  for (const node of f.childNodes) {
    if (node.nodeType !== 3) continue;
    range.selectNodeContents(node);
    lines.push(range.getClientRects().length);
  }
  return Math.max(...lines);
}));
check(parts.every((n) => n === 1), "phone: no part of a file name broken: " + parts.join(", "));
await fresh.screenshot({ path: path.join(artifacts, "page-phone.png"), fullPage: true });
await fresh.close();

check(requests.length === 0, "no request after the page loaded" + (requests.length ? ": " + requests.join(", ") : ""));
check(errors.length === 0, "no script error" + (errors.length ? ": " + errors.join("; ") : ""));
await browser.close();
fs.rmSync(work, { recursive: true });
console.log(`${passes} passed, ${failures} failed`);
process.exit(failures ? 1 : 0);
