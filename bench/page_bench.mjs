// The page against the program on one scene of 64 characters with faces,
// side by side and interleaved: the page (in Debian's chromium, headless) from
// the moment the scene is chosen to the first frame that shows all 64 tiles
// (the page's own performance marks, so that the time the driver takes to
// notice is not counted), with as many workers as the program has drawing
// threads; the program's whole run writing the 64 cards. Prints each time,
// the medians and their ratio.
//
// usage: node page_bench.mjs <cardlift.html> <cardlift> <scene> <workers> <repetitions>
import { chromium } from "playwright-core";
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";

const [pagePath, tool, scene] = process.argv.slice(2, 5).map((p) => path.resolve(p));
const workers = Number(process.argv[5]), repetitions = Number(process.argv[6]);
const work = fs.mkdtempSync(path.join(os.tmpdir(), "cardlift-page-bench-"));
const browser = await chromium.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox", "--disable-gpu"] });

async function pageTime() {
  const page = await browser.newPage();
  await page.goto("file://" + pagePath + "?workers=" + workers);
  await page.waitForLoadState("load");
  await page.waitForTimeout(3000);  // the workers' WebAssembly compiled, as when a player picks a file
  await page.setInputFiles("#pick", [scene]);
  // Polled rarely: a check every frame would make the browser draw frames
  // while the workers draw cards.
  await page.waitForFunction(() => performance.getEntriesByName("cardlift-shown").length === 1, null,
                             { timeout: 600000, polling: 250 });
  const ms = await page.evaluate(() => {
    if (document.querySelectorAll(".tile img").length !== 64) throw new Error("not 64 tiles");
    return performance.getEntriesByName("cardlift-shown")[0].startTime - performance.getEntriesByName("cardlift-chosen")[0].startTime;
  });
  await page.close();
  return ms;
}

function nativeTime() {
  const out = path.join(work, "cards");
  fs.rmSync(out, { recursive: true, force: true });
  const start = performance.now();
  execFileSync(tool, ["-q", "-o", out, scene], { env: { ...process.env, CARDLIFT_WORKERS: String(workers) } });
  const ms = performance.now() - start;
  if (fs.readdirSync(out).length !== 64) throw new Error("the program wrote " + fs.readdirSync(out).length + " cards, not 64");
  return ms;
}

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const pages = [], natives = [];
await pageTime();  // the browser's own first start is no part of the page's time
for (let i = 0; i < repetitions; ++i) {
  natives.push(nativeTime());
  pages.push(await pageTime());
  console.log(`run ${i + 1}: page ${pages[i].toFixed(0)} ms, program ${natives[i].toFixed(0)} ms`);
}
await browser.close();
fs.rmSync(work, { recursive: true });
const ratio = median(pages) / median(natives);
console.log(`64 characters with 240 x 320 faces, ${workers} workers / drawing threads, medians of ${repetitions}:`);
console.log(`page ${median(pages).toFixed(0)} ms, program ${median(natives).toFixed(0)} ms: ${ratio.toFixed(2)}x (target <= 1.5x)`);
process.exit(ratio <= 1.5 ? 0 : 1);
