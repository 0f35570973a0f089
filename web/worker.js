// The page's worker: the scan runs here, off the page's thread, so the page
// never freezes. Appended to the module's code (createCardlift) in one script.
"use strict";
const modulePromise = createCardlift();
onmessage = async (event) => {
  const { id, name, bytes, newer } = event.data;
  let M;
  try {
    M = await modulePromise;
  } catch (e) {
    postMessage({ id, error: "The page could not start its WebAssembly: " + e });
    return;
  }
  M.onProgress = (percent) => postMessage({ id, progress: percent });
  const data = new Uint8Array(bytes);
  const at = M._malloc(data.length || 1);
  if (!at) {
    postMessage({ id, error: "This file is too large for the memory this browser gives a page (" +
      Math.round(data.length / 1048576) + " MB)." });
    return;
  }
  try {
    M.HEAPU8.set(data, at);
    M.ccall("web_scan", "number", ["number", "number", "string", "number"], [at, data.length, name, newer ? 1 : 0]);
    const report = JSON.parse(M.UTF8ToString(M._web_report()));
    const cards = [];
    for (let i = 0; i < M._web_card_count(); ++i) {
      const start = M._web_card_data(i);
      cards.push({ name: M.UTF8ToString(M._web_card_name(i)), bytes: M.HEAPU8.slice(start, start + M._web_card_size(i)) });
    }
    postMessage({ id, report, cards }, cards.map((c) => c.bytes.buffer));
  } catch (e) {
    postMessage({ id, error: "The browser ran out of memory for this file: " + e });
  } finally {
    M._free(at);
    M._web_reset();
  }
};
