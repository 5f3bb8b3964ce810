#!/usr/bin/env node
// The page in Debian's headless Chromium, driven through puppeteer-core:
//   node tests/web/run.js SITE_DIR LAYOUT_JSON   (tests/web/run.sh makes the layout)
// WEB_TEST=words runs only the tests whose names hold them.
// SITE_DIR is what `make web` wrote; LAYOUT_JSON is the screen's layout in design points as the
// native harness reports it (the page lays out the same 1024 x 768 design). Boards are a
// stand-in navigator.serial (fake_serial.js, put in by these tests only) whose recorded bytes
// the board emulator (tools/board-emulator) reads as a board would.
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');
const { execFileSync } = require('child_process');
const puppeteer = require('puppeteer-core');
const png = require('./png');

const SITE = path.resolve(process.argv[2] || 'build/web/site');
const LAYOUT = JSON.parse(fs.readFileSync(process.argv[3], 'utf8'));
const ROOT = path.resolve(__dirname, '../..');
const FAKE = fs.readFileSync(path.join(__dirname, 'fake_serial.js'), 'utf8');
const WAIT = 20000;
const W = 1024, H = 768;  // the window: the design at scale 1, no bars

// --- the server ----------------------------------------------------------------------------

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                '.data': 'application/octet-stream', '.png': 'image/png', '.svg': 'image/svg+xml',
                '.webmanifest': 'application/manifest+json' };
function serve(port) {
  const sockets = new Set();
  const server = http.createServer((req, res) => {
    let file = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    if (file.endsWith('/')) file += 'index.html';
    const full = path.join(SITE, path.normalize(file));
    if (!full.startsWith(SITE) || !fs.existsSync(full)) { res.writeHead(404); res.end(); return; }
    res.writeHead(200, { 'Content-Type': TYPES[path.extname(full)] || 'application/octet-stream' });
    res.end(fs.readFileSync(full));
  });
  server.on('connection', (s) => { sockets.add(s); s.on('close', () => sockets.delete(s)); });
  return new Promise((resolve) => server.listen(port || 0, '127.0.0.1', () => resolve({
    url: `http://127.0.0.1:${server.address().port}/`,
    port: server.address().port,
    stop: () => new Promise((done) => { for (const s of sockets) s.destroy(); server.close(done); }),
  })));
}

// --- the page ------------------------------------------------------------------------------

// Design points (y up) to the page's pixels.
const at = ([x, y]) => [x, H - y];
const center = (box) => [box[0] + box[2] / 2, box[1] + box[3] / 2];
const LED_ON = 0, LED_OFF = 1, WAIT1 = 2, WAIT10 = 5, LEFT = 0, RIGHT = 1;

async function open(context, url, { serial = true, boards = [] } = {}) {
  const page = await context.newPage();
  await page.setViewport({ width: W, height: H });
  page.on('pageerror', (e) => console.log('  page error:', e.message));
  page.on('console', (m) => { if (m.type() === 'error' || m.type() === 'warning') console.log('  page:', m.text()); });
  if (serial) {
    await page.evaluateOnNewDocument(FAKE);
    // Boards granted on an earlier visit and on the cable: there when the page starts.
    await page.evaluateOnNewDocument((list) => {
      for (const [vid, pid] of list) window.fakeSerial.plug(vid, pid, { announce: false });
    }, boards);
  } else {
    await page.evaluateOnNewDocument(() => {
      Object.defineProperty(Navigator.prototype, 'serial', { get: () => undefined, configurable: true });
    });
  }
  await page.goto(url, { waitUntil: 'load' });
  await started(page);
  return page;
}

async function started(page) {
  await page.waitForFunction(() => window.Module && Module.firstFrameAt, { timeout: WAIT });
  await sleep(300);
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function tap(page, point) {
  const [x, y] = at(point);
  await page.mouse.move(x, y);
  await page.mouse.down();
  await sleep(60);
  await page.mouse.up();
  await sleep(150);
}

// As a child drags: the palette card from its middle straight to the slot's middle.
async function lay(page, kind, row, side) {
  const from = at(center(LAYOUT.palette[kind].box));
  const to = at(center(LAYOUT.rows[row / 10 - 1].slots[side].box));
  await page.mouse.move(from[0], from[1]);
  await page.mouse.down();
  for (let i = 1; i <= 12; ++i) {
    await page.mouse.move(from[0] + (to[0] - from[0]) * i / 12, from[1] + (to[1] - from[1]) * i / 12);
    await sleep(25);
  }
  await sleep(100);
  await page.mouse.up();
  await sleep(300);
}

async function screenshot(page) { return png.decode(await page.screenshot({ type: 'png' })); }

// Pixels near `rgb` in the box (page pixels).
function count(shot, [x0, y0, x1, y1], rgb, slack = 40) {
  let n = 0;
  for (let y = y0; y < y1; y += 2)
    for (let x = x0; x < x1; x += 2) {
      const p = shot.pixel(x, y);
      if (Math.abs(p[0] - rgb[0]) + Math.abs(p[1] - rgb[1]) + Math.abs(p[2] - rgb[2]) < slack) ++n;
    }
  return n;
}

// A notice is a dark plate over the top of the field.
async function noticeShown(page) {
  const shot = await screenshot(page);
  return count(shot, [255, 0, 860, 200], [50, 50, 50], 40) > 1500;
}

async function play(page) { await tap(page, center(LAYOUT.controls.play)); }

// Until the send has ended: the port closed again after it was opened.
async function sendEnds(page, port, opens) {
  await page.waitForFunction((i, n) => {
    const s = window.fakeSerial.state(i);
    return s.opens.length >= n && !s.open;
  }, { timeout: 60000 }, port, opens);
  await sleep(300);
}

// The board emulator's reading of what the port got.
async function boardReport(page, port, board) {
  const chunks = await page.evaluate((i) => window.fakeSerial.chunks(i), port);
  const input = JSON.stringify(chunks.map(([ms, bytes]) => [ms / 1000, Buffer.from(bytes).toString('hex')]));
  const script = 'import json,sys; sys.dont_write_bytecode=True; sys.path.insert(0, sys.argv[1]); ' +
    'import board_emulator as e; c=[(t, bytes.fromhex(h)) for t,h in json.load(sys.stdin)]; ' +
    'r=e.simulate(sys.argv[2], c); print(json.dumps(r))';
  const out = execFileSync('python3', ['-c', script, path.join(ROOT, 'tools/board-emulator'), board], { input });
  return { report: JSON.parse(out), chunks };
}

// --- the tests -----------------------------------------------------------------------------

const tests = [];
const test = (name, f) => tests.push({ name, f });
function check(ok, what) { if (!ok) throw new Error(what); }
function equal(a, b, what) {
  if (JSON.stringify(a) !== JSON.stringify(b)) throw new Error(`${what}: ${JSON.stringify(a)} != ${JSON.stringify(b)}`);
}

const DOV_LINES = ['NEW', '10 LED 1:WAIT 60', '30 LED 0', 'SAVE 0', 'RUN'];

module.exports = { tests, test, check, equal, open, tap, lay, play, sendEnds, boardReport, noticeShown, screenshot,
                   count, serve, sleep, center, at, started, LAYOUT, LED_ON, LED_OFF, WAIT1, WAIT10, LEFT, RIGHT,
                   DOV_LINES, SITE };
require('./tests');

(async () => {
  const only = process.env.WEB_TEST;
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-dev-shm-usage', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--enable-features=SerialAPI', '--window-size=1024,768'],
  });
  const server = await serve();
  let failed = 0, ran = 0;
  const begun = Date.now();
  for (const t of tests) {
    if (only && !t.name.includes(only)) continue;
    ++ran;
    const context = await browser.createBrowserContext();
    const t0 = Date.now();
    try {
      await t.f({ browser, context, server });
      console.log(`ok    ${t.name} (${((Date.now() - t0) / 1000).toFixed(1)} s)`);
    } catch (e) {
      ++failed;
      console.log(`FAIL  ${t.name}: ${e && e.stack || e}`);
    } finally {
      await context.close().catch(() => {});
    }
  }
  await server.stop();
  await browser.close();
  console.log(`${ran - failed} of ${ran} passed in ${((Date.now() - begun) / 1000).toFixed(0)} s`);
  process.exit(failed ? 1 : 0);
})();
