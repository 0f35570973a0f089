// The page's worker: the scan runs here, off the page's thread, so the page
// never freezes. The page runs several and gives each a share of every
// scene's drawing. Appended to the module's code (createCardlift) in one script.
"use strict";
const modulePromise = createCardlift();
modulePromise.then((M) => M._web_warm_up(), () => {});
const megabytes = (n) => Math.max(1, Math.round(n / 1048576));
function outOfMemory(id, size) {
  postMessage({ id, error: "This file (" + megabytes(size) + " MB) needs more memory than " +
    "this browser gives a page. The cardlift program extracts it; so may a browser with more memory." });
}
// Whether `b` holds the marker of Emotion Creators' characters, which this
// program cannot read: the page says so rather than "no characters".
const emotionMarker = new TextEncoder().encode("【EroMakeChara】");
function holdsEmotionCreators(b) {
  outer: for (let i = b.indexOf(emotionMarker[0]); i >= 0 && i + emotionMarker.length <= b.length; i = b.indexOf(emotionMarker[0], i + 1)) {
    for (let k = 1; k < emotionMarker.length; k++) if (b[i + k] !== emotionMarker[k]) continue outer;
    return true;
  }
  return false;
}

// Each worker reads the file itself, beside the others; the cards go back as
// Blobs, made here rather than on the page's thread.
onmessage = async (event) => {
  const { id, name, file, newer, names, share, shares } = event.data;
  let M;
  try {
    M = await modulePromise;
  } catch (e) {
    postMessage({ id, error: "The page could not start its WebAssembly: " + e });
    return;
  }
  // The page shows the first share's percentage, at most ten times a
  // second: each one shown costs the page a layout and a paint, which the
  // cores drawing cards would otherwise have.
  let told = 0;
  M.onProgress = share !== 0 ? null : (percent) => {
    const now = performance.now();
    if (now - told < 100) return;
    told = now;
    postMessage({ id, progress: percent });
  };
  let data;
  try {
    data = new Uint8Array(await file.arrayBuffer());
  } catch (e) {
    postMessage({ id, error: "This file could not be read (" + (e.message || e) + "). It may be too large for this browser." });
    return;
  }
  let at = 0;
  try {
    at = M._malloc(data.length || 1);
    if (!at) return outOfMemory(id, data.length);
    M.HEAPU8.set(data, at);
    const scanned = M.ccall("web_scan", "number", ["number", "number", "string", "number", "number", "number", "number"],
                            [at, data.length, name, newer ? 1 : 0, names ? 1 : 0, share, shares]);
    if (scanned < 0) return outOfMemory(id, data.length);
    const report = JSON.parse(M.UTF8ToString(M._web_report()));
    const repeats = JSON.parse(M.UTF8ToString(M._web_repeats()));
    const cards = [];
    for (let i = 0; i < M._web_card_count(); ++i) {
      const start = M._web_card_data(i);
      cards.push({ name: M.UTF8ToString(M._web_card_name(i)),
                   blob: new Blob([M.HEAPU8.subarray(start, start + M._web_card_size(i))], { type: "image/png" }) });
    }
    const emotionCreators = share === 0 && holdsEmotionCreators(data);
    postMessage({ id, report, repeats, cards, emotionCreators });
  } catch (e) {
    // Memory that ran out arrives as a RangeError, or as a number (a C++
    // exception the module did not catch); anything else is a fault said as it is.
    if (typeof e === "number" || e instanceof RangeError) outOfMemory(id, data.length);
    else postMessage({ id, error: "The page failed on this file: " + (e && e.message ? e.message : e) });
  } finally {
    if (at) M._free(at);
    M._web_reset();
  }
};
