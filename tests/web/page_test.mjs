// The page in a real browser (Debian's chromium, driven headless by
// playwright-core): it is opened from disk, scenes and folders are chosen, the
// tiles are read, every card is saved in the zip and compared byte for byte
// and by name with the card the Linux program writes for the same scene and
// path text; the switches scan again; a file added twice is shown once; a
// file that is no scene says so; and no request leaves the page after it loaded.
//
// usage: node page_test.mjs <cardlift.html> <cardlift> <demo scene> <folder of make_cast_scene> <artifact dir>
import { chromium } from "playwright-core";
import { execFileSync, spawnSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";

const [pagePath, tool, demoScene, made, artifacts] = process.argv.slice(2).map((p) => path.resolve(p));
const pageUrl = "file://" + pagePath;
let failures = 0, passes = 0;
function check(ok, what) {
  console.log((ok ? "ok   " : "FAIL ") + what);
  if (!ok) failures++;
  else passes++;
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), "cardlift-page-"));
const scenes = path.join(work, "scenes");
fs.mkdirSync(scenes);
fs.copyFileSync(demoScene, path.join(scenes, "demo_scene.png"));
for (const name of ["cast.png", "later.png", "repeats.png"]) fs.copyFileSync(path.join(made, name), path.join(scenes, name));
fs.writeFileSync(path.join(scenes, "notes.txt"), "not a scene\n".repeat(20));
const inScenes = (...names) => names.map((n) => path.join(scenes, n));

// The cards the Linux program writes for `names` (paths relative to `from`),
// by name; the run must end with `status`.
let runs = 0;
function nativeCards(from, names, options = [], status = 0) {
  const out = path.join(work, "native" + ++runs);
  const run = spawnSync(tool, ["-q", "-o", out, ...options, ...names], { cwd: from, stdio: ["ignore", "ignore", "pipe"] });
  if (run.status !== status) throw new Error("cardlift " + names.join(" ") + " ended " + run.status + ": " + run.stderr);
  return new Map(fs.readdirSync(out).map((n) => [n, fs.readFileSync(path.join(out, n))]));
}

// "Save all as a .zip", unpacked by Python's zipfile: the cards by name, and
// whether every entry is stored rather than compressed.
async function savedZip(page) {
  const [download] = await Promise.all([page.waitForEvent("download"), page.click("#save-all")]);
  const zip = path.join(work, "saved" + ++runs + ".zip"), out = zip + ".d";
  await download.saveAs(zip);
  const methods = execFileSync("/usr/bin/python3", ["-c",
    "import json, sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\nz.extractall(sys.argv[2])\n" +
    "print(json.dumps(sorted({i.compress_type for i in z.infolist()})))", zip, out]).toString().trim();
  const cards = new Map(fs.existsSync(out) ? fs.readdirSync(out).map((n) => [n, fs.readFileSync(path.join(out, n))]) : []);
  return { name: download.suggestedFilename(), cards, stored: methods === "[0]" };
}

function sameCards(got, want, what) {
  const names = [...got.keys()].sort(), wanted = [...want.keys()].sort();
  const shown = names.length > 8 ? names.slice(0, 8).join(", ") + " and " + (names.length - 8) + " more" : names.join(", ");
  check(JSON.stringify(names) === JSON.stringify(wanted), what + ": the program's card names: " + shown);
  const differ = wanted.filter((n) => !got.has(n) || !got.get(n).equals(want.get(n)));
  check(differ.length === 0, what + ": the same bytes as the program's cards" +
        (differ.length ? ", not " + differ.slice(0, 8).join(", ") + (differ.length > 8 ? " and " + (differ.length - 8) + " more" : "") : ""));
}

const settled = (page, sections) => page.waitForFunction((n) => document.querySelectorAll("section.scene progress").length === 0 &&
  document.querySelectorAll("section.scene").length === n && !document.querySelector("section.scene .status").textContent.startsWith("Waiting"),
  sections, { timeout: 120000 });
const scenesShown = (page) => page.$$eval("section.scene", (sections) => sections.map((s) => ({
  title: s.querySelector("h2").textContent,
  status: s.querySelector(".status").textContent,
  tiles: [...s.querySelectorAll(".tile")].map((t) => t.innerText),
})));

const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync"],
});
const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1100, height: 900 } });
const errors = [], requests = [];
context.on("request", (r) => {
  if (!/^(blob|data):/.test(r.url()) && r.url().split("?")[0] !== pageUrl) requests.push(r.url());
});
async function open(query = "", viewport) {
  const page = await context.newPage();
  if (viewport) await page.setViewportSize(viewport);
  page.on("pageerror", (e) => errors.push(String(e)));
  await page.goto(pageUrl + query);
  await page.waitForLoadState("load");
  return page;
}

// Three workers, each drawing a share of every scene, whatever the cores.
const page = await open("?workers=3");
await page.setInputFiles("#pick", inScenes("demo_scene.png", "cast.png", "notes.txt"));
await settled(page, 3);
let shown = await scenesShown(page);
check(shown[0].title === "demo_scene.png" && shown[0].tiles.length === 4, "demo scene: four characters, " + shown[0].tiles.length + " tiles");
check(shown[0].tiles.filter((t) => t.includes("Stored twice in this scene: saved once")).length === 1,
      "demo scene: the repeated character is one tile that says so");
check(shown[1].tiles.length === 3 && shown[1].tiles[0].includes("\u6625\u91ce \u5343\u4f73") &&
      shown[1].tiles[0].includes("Stored twice") && shown[1].tiles[1].includes("Kurosaki Ren"),
      "cast: three tiles with the characters' names");
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

// Save all: one zip of stored entries, the program's cards.
const both = nativeCards(scenes, ["demo_scene.png", "cast.png"]);
let zip = await savedZip(page);
check(zip.name === "cardlift-cards.zip" && zip.stored, "one zip, " + zip.name + ", its entries stored");
sameCards(zip.cards, both, "the zip");

// A file added again replaces the one shown, in its place.
await page.setInputFiles("#pick", inScenes("demo_scene.png"));
await settled(page, 3);
shown = await scenesShown(page);
check(shown.map((s) => s.title).join() === "demo_scene.png,cast.png,notes.txt" && shown[0].tiles.length === 4,
      "a file added again is shown once, where it was: " + shown.map((s) => s.title).join(", "));
zip = await savedZip(page);
sameCards(zip.cards, both, "the zip after a file added again");

// Cards named after the characters, as --names names them: everything scanned again.
await page.check("#names");
await settled(page, 3);
sameCards((await savedZip(page)).cards, nativeCards(scenes, ["demo_scene.png", "cast.png"], ["--names"]), "--names");
await page.uncheck("#names");
await settled(page, 3);

// Another file of the same name (another folder's cast.png): its cards take
// the next free numbers, as a run over both would number them, and replace
// none. Each card's own number is taken by the first file's card of the same
// game and sex; the number after it is free, since the three differ in game.
const other = path.join(work, "other");
fs.mkdirSync(other);
fs.writeFileSync(path.join(other, "cast.png"), Buffer.concat([fs.readFileSync(path.join(scenes, "cast.png")), Buffer.alloc(8)]));
await page.setInputFiles("#pick", [path.join(other, "cast.png")]);
await settled(page, 4);
zip = await savedZip(page);
const castCards = [...nativeCards(scenes, ["cast.png"]).entries()];
const renumbered = castCards.map(([name]) => name.replace(/_(\d{3})\.png$/, (_, n) => "_" + String(Number(n) + 1).padStart(3, "0") + ".png"));
check(zip.cards.size === both.size + castCards.length && renumbered.every((n, i) => zip.cards.has(n) && zip.cards.get(n).equals(castCards[i][1])),
      "two files of the same name: the second's cards numbered on, " + renumbered.join(", "));
sameCards(new Map([...zip.cards].filter(([n]) => both.has(n))), both, "the first files' cards beside them");

// Later games by default; the switch scans everything shown again. A scene
// without characters, and an Emotion Creators card, say so in one sentence.
const demoBytes = fs.readFileSync(demoScene);
const iend = demoBytes.indexOf(Buffer.from("IEND")) + 8;
fs.writeFileSync(path.join(scenes, "empty.png"), Buffer.concat([demoBytes.subarray(0, iend), Buffer.alloc(64, 46)]));
fs.writeFileSync(path.join(scenes, "ec.png"), Buffer.concat([demoBytes.subarray(0, iend), Buffer.alloc(20, 46),
  Buffer.from("\u3010EroMakeChara\u3011"), Buffer.alloc(64, 46)]));
await page.setInputFiles("#pick", inScenes("empty.png", "ec.png", "later.png", "repeats.png"));
await settled(page, 8);
const statusOf = async (title) => (await scenesShown(page)).find((s) => s.title === title);
const empty = await statusOf("empty.png");
check(empty && empty.status === "No characters found.", "a scene without characters: " + JSON.stringify(empty));
const ec = await statusOf("ec.png");
check(ec && ec.status.includes("Emotion Creators") && !ec.status.endsWith(".."), "an Emotion Creators card: " + JSON.stringify(ec));
check(await page.isChecked("#newer"), "later games are found by default");
const later = await statusOf("later.png");
check(later && later.tiles.length === 2 && later.status.startsWith("2 characters"), "later games: both characters: " + JSON.stringify(later));
const repeats = await statusOf("repeats.png");
check(repeats && repeats.tiles.length === 1 && repeats.tiles[0].includes("Stored 100,000 times in this scene: saved once"),
      "a character stored 100,000 times: one tile: " + JSON.stringify(repeats && repeats.tiles));
await page.uncheck("#newer");
await settled(page, 8);
const without = await statusOf("later.png");
check(without && without.tiles.length === 1 && without.status.includes("1 more of later games"),
      "the switch off scans again: " + JSON.stringify(without));
await page.close();

// A folder of 150 scenes, chosen as a folder: its scenes at any depth, each
// under FOLDER/SUB/NAME, each folder's names in order with a subfolder's in
// its place, every card as `cardlift -r` writes it for the folder; a folder
// more than 32 levels down is said, not read, as the program says it.
const folder = path.join(work, "folder", "party");
const tooDeep = path.join(folder, "deeper", ...Array(32).fill("d"));
fs.mkdirSync(tooDeep, { recursive: true });
for (let i = 1; i <= 150; ++i) fs.copyFileSync(path.join(made, "later.png"), path.join(folder, "scene " + String(i).padStart(3, "0") + ".png"));
fs.copyFileSync(path.join(made, "later.png"), path.join(folder, "deeper", "inner.png"));
fs.copyFileSync(path.join(made, "later.png"), path.join(tooDeep, "lost.png"));
fs.writeFileSync(path.join(folder, "readme.txt"), "not a scene\n");
const wide = await open();
await wide.setInputFiles("#pick-folder", folder);
await settled(wide, 152);
shown = await scenesShown(wide);
const deepTitle = "party/deeper/" + Array(32).fill("d").join("/");
check(shown.length === 152 && shown[0].title === deepTitle && shown[0].status === "Not read: more than 32 folders deep." &&
      shown[1].title === "party/deeper/inner.png" &&
      shown.slice(2).every((s, i) => s.title === "party/scene " + String(i + 1).padStart(3, "0") + ".png") &&
      shown.slice(1).every((s) => s.status === "2 characters." && s.tiles.length === 2),
      "a folder of 150 scenes and a subfolder: each shown with its folders, in order: " + shown.length + ", " +
      shown.slice(0, 3).map((s) => s.title + ": " + s.status).join("; "));
sameCards((await savedZip(wide)).cards, nativeCards(path.join(work, "folder"), ["party"], ["--newer-games", "-r"], 1),
          "the folder's zip, as cardlift -r");
await wide.close();

// A disabled button looks disabled.
const fresh = await open();
const look = await fresh.$eval("#save-all", (b) => [getComputedStyle(b).backgroundColor, getComputedStyle(b).cursor]);
const enabledLook = await fresh.$eval("button#clear", (b) => { b.disabled = false; const c = getComputedStyle(b).backgroundColor; b.disabled = true; return c; });
check(look[1] === "not-allowed" && look[0] !== enabledLook, "a disabled Save all looks disabled: " + look.join(", "));
await fresh.close();

// On a phone: two cards a row, file names broken only after an underscore.
const phone = await open("", { width: 390, height: 844 });
await phone.setInputFiles("#pick", inScenes("demo_scene.png"));
await settled(phone, 1);
const rows = await phone.$$eval(".tile", (ts) => ts.map((t) => Math.round(t.getBoundingClientRect().top)));
check(rows.length === 4 && rows.filter((top) => top === rows[0]).length === 2, "phone: two cards a row: " + rows.join(", "));
const parts = await phone.$$eval(".tile .file", (fs) => fs.map((f) => {
  const range = document.createRange(), lines = [];
  for (const node of f.childNodes) {
    if (node.nodeType !== 3) continue;
    range.selectNodeContents(node);
    lines.push(range.getClientRects().length);
  }
  return Math.max(...lines);
}));
check(parts.every((n) => n === 1), "phone: no part of a file name broken: " + parts.join(", "));
const width = await phone.evaluate(() => document.documentElement.scrollWidth);
check(width <= 390, "phone: nothing wider than the screen: " + width + " px");
await phone.screenshot({ path: path.join(artifacts, "page-phone.png"), fullPage: true });
await phone.close();

check(requests.length === 0, "no request after the page loaded" + (requests.length ? ": " + requests.join(", ") : ""));
check(errors.length === 0, "no script error" + (errors.length ? ": " + errors.join("; ") : ""));
await browser.close();
fs.rmSync(work, { recursive: true });
console.log(`${passes} passed, ${failures} failed`);
process.exit(failures ? 1 : 0);
