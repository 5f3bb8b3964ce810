#!/usr/bin/env node
// The page beside the block editor peer, in the same headless Chromium, one run:
//   node bench/web_page.js SITE_DIR PEER_DIR   -> one JSON object on stdout
// For each: page load to its first frame (cold: a fresh profile; warm, the page only: again in
// the same profile, served by its service worker), the bytes fetched on the cold load, CPU of
// the renderer over 10 s of idle, and the renderer's memory (PSS) with a full field (the page:
// 60 cards in slots, opened from a file; the peer: its 60 blocks).
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');
const puppeteer = require(path.join(__dirname, '../tests/web/node_modules/puppeteer-core'));

const [SITE, PEER] = process.argv.slice(2).map((p) => path.resolve(p));
const RUNS = 5, IDLE_MS = 10000;
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.png': 'image/png',
                '.svg': 'image/svg+xml', '.webmanifest': 'application/manifest+json' };

function serve(root) {
  const server = http.createServer((req, res) => {
    let file = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    if (file.startsWith('/done')) { res.writeHead(204); res.end(); return; }
    if (file.endsWith('/')) file += 'index.html';
    const full = path.join(root, path.normalize(file));
    if (!full.startsWith(root) || !fs.existsSync(full)) { res.writeHead(404); res.end(); return; }
    res.writeHead(200, { 'Content-Type': TYPES[path.extname(full)] || 'application/octet-stream' });
    res.end(fs.readFileSync(full));
  });
  return new Promise((r) => server.listen(0, '127.0.0.1', () => r({ server, url: `http://127.0.0.1:${server.address().port}/` })));
}

const median = (xs) => xs.slice().sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Loads `url` in `page`; resolves with [ms from navigation start to the first frame, bytes].
async function load(page, url, firstFrame) {
  const cdp = await page.createCDPSession();
  await cdp.send('Network.enable');
  let bytes = 0;
  cdp.on('Network.loadingFinished', (e) => { bytes += e.encodedDataLength; });
  await page.goto(url, { waitUntil: 'load' });
  const ms = await firstFrame(page);
  await sleep(200);
  return [ms, bytes];
}

const pageFrame = async (page) => {
  await page.waitForFunction(() => window.Module && Module.firstFrameAt, { timeout: 30000 });
  return page.evaluate(() => Module.firstFrameAt);
};
const peerFrame = async (page) => {
  await page.waitForFunction(() => performance.getEntriesByType('resource').some((e) => e.name.includes('/done')),
                             { timeout: 30000 });
  return page.evaluate(() => performance.getEntriesByType('resource').find((e) => e.name.includes('/done')).startTime);
};

async function renderers(browser) {
  const cdp = await browser.target().createCDPSession();
  const { processInfo } = await cdp.send('SystemInfo.getProcessInfo');
  await cdp.detach();
  return processInfo.filter((p) => p.type === 'renderer');
}

function pssKb(pid) {
  try {
    const line = fs.readFileSync(`/proc/${pid}/smaps_rollup`, 'utf8').split('\n').find((l) => l.startsWith('Pss:'));
    return parseInt(line.split(/\s+/)[1], 10);
  } catch (e) { return 0; }
}

async function measure(browser, url, firstFrame, { warm = false, full = null } = {}) {
  const cold = [], warmRuns = [];
  let bytes = 0;
  for (let i = 0; i < RUNS; ++i) {
    const context = await browser.createBrowserContext();
    const page = await context.newPage();
    await page.setViewport({ width: 1024, height: 768 });
    const [ms, b] = await load(page, url, firstFrame);
    cold.push(ms);
    bytes = b;
    if (warm) {
      await page.evaluate(() => navigator.serviceWorker.ready.then(() => true));
      await sleep(300);
      const again = await context.newPage();
      await again.setViewport({ width: 1024, height: 768 });
      await page.close();
      warmRuns.push((await load(again, url, firstFrame))[0]);
    }
    await context.close();
  }
  // Idle and memory: one page alone in its profile.
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  await page.setViewport({ width: 1024, height: 768 });
  await load(page, url, firstFrame);
  if (full) await full(page);
  await sleep(1500);
  const before = await renderers(browser);
  await sleep(IDLE_MS);
  const after = await renderers(browser);
  // The page's renderer: the one that worked most over its life.
  const busiest = after.slice().sort((a, b) => b.cpuTime - a.cpuTime)[0];
  const was = before.find((p) => p.id === busiest.id);
  const idlePct = was ? 100 * (busiest.cpuTime - was.cpuTime) / (IDLE_MS / 1000) : null;
  const pssMb = pssKb(busiest.id) / 1024;
  await context.close();
  return { cold_ms: median(cold), warm_ms: warm ? median(warmRuns) : null, bytes, idle_pct: idlePct, pss_mb: pssMb };
}

// A full field: both slots of all 30 rows, opened as a dropped file.
async function fullField(page) {
  const kinds = ['led-on', 'led-off', 'wait-1', 'wait-3', 'wait-5', 'wait-10'];
  const cards = [];
  for (let row = 10; row <= 300; row += 10)
    for (const side of ['left', 'right']) cards.push({ kind: kinds[cards.length % 6], x: 0, y: 0, row, side });
  const text = JSON.stringify({ format: 'tavrick-cards', version: 1, target: 'Dov', cards });
  await page.evaluate((t) => {
    const data = new DataTransfer();
    data.items.add(new File([t], 'full.cards'));
    window.dispatchEvent(new DragEvent('drop', { dataTransfer: data, bubbles: true, cancelable: true }));
  }, text);
}

(async () => {
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true,
    args: ['--no-sandbox', '--disable-dev-shm-usage', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--disable-background-networking', '--disable-component-update'],
  });
  const site = await serve(SITE), peer = await serve(PEER);
  const out = {
    page: await measure(browser, site.url, pageFrame, { warm: true, full: fullField }),
    peer: await measure(browser, peer.url, peerFrame),
  };
  site.server.close();
  peer.server.close();
  await browser.close();
  process.stdout.write(JSON.stringify(out) + '\n');
})().catch((e) => { console.error(e); process.exit(1); });
