// What the page must do, test by test (run.js runs them, each in a fresh browser profile).
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const T = require('./run');
const { test, check, equal, open, tap, lay, play, sendEnds, boardReport, noticeShown, screenshot, count, sleep,
        center, LAYOUT, LED_ON, LED_OFF, WAIT1, WAIT10, LEFT, RIGHT, DOV_LINES } = T;

const CH340 = [0x1a86, 0x7523];

test('the page shows the main screen', async ({ context, server }) => {
  const page = await open(context, server.url);
  const shot = await screenshot(page);
  // The white beside the field, the empty slots' blue, the green frame of the palette.
  check(count(shot, [790, 450, 1000, 690], [255, 255, 255], 10) > 8000, 'no white beside the field');
  const slot = T.at(center(LAYOUT.rows[0].slots[LEFT].box));
  check(count(shot, [slot[0] - 80, slot[1] - 40, slot[0] + 80, slot[1] + 40], [223, 233, 247], 12) > 1000,
        'no empty slot in row 10');
  check(count(shot, [0, 740, 250, 768], [39, 172, 56], 20) > 500, 'no palette frame');
  equal(await page.title(), 'Tavrick Cards', 'the title');
});

test('cards laid with the mouse go out to a Dov board exactly, with their pauses', async ({ context, server }) => {
  const page = await open(context, server.url, { boards: [CH340] });
  await lay(page, LED_ON, 10, LEFT);
  await lay(page, WAIT1, 10, RIGHT);
  await lay(page, LED_OFF, 30, LEFT);
  await play(page);
  await sendEnds(page, 0, 1);
  const opened = await page.evaluate(() => window.fakeSerial.state(0).opens[0]);
  equal([opened.baudRate, opened.dataBits, opened.parity, opened.stopBits], [115200, 8, 'none', 1], 'line settings');
  const { report, chunks } = await boardReport(page, 0, 'dov');
  equal(report.lines.map((l) => l.text), DOV_LINES, 'the lines the board took');
  equal(report.lost_bytes, 0, 'bytes lost');
  equal(report.saved, ['10 LED 1:WAIT 60', '30 LED 0'], 'the stored program');
  // Each line whole in one write, and each pause kept before the next line.
  equal(chunks.length, 5, 'one write a line');
  for (let i = 1; i < chunks.length; ++i) check(chunks[i][0] - chunks[i - 1][0] >= 150, `no pause before line ${i + 1}`);
});

test('a Velto program from a desktop .cards file dropped on the page', async ({ context, server }) => {
  const page = await open(context, server.url, { boards: [CH340] });
  const file = fs.readFileSync(path.join(__dirname, 'velto.cards'), 'utf8');
  await page.evaluate((text) => {
    const data = new DataTransfer();
    data.items.add(new File([text], 'velto.cards'));
    window.dispatchEvent(new DragEvent('drop', { dataTransfer: data, bubbles: true, cancelable: true }));
  }, file);
  await sleep(800);
  await play(page);
  await sendEnds(page, 0, 1);
  const { report } = await boardReport(page, 0, 'velto');
  equal(report.lost_bytes, 0, 'bytes lost');
  check(/led\(1\)/.test(report.program) && /led\(0\)/.test(report.program), 'the stored script: ' + report.program);
});

test('stop ends a send between lines', async ({ context, server }) => {
  const page = await open(context, server.url, { boards: [CH340] });
  await lay(page, LED_ON, 10, LEFT);
  await lay(page, WAIT10, 10, RIGHT);
  await lay(page, LED_OFF, 20, LEFT);
  await play(page);
  await page.waitForFunction(() => window.fakeSerial.state(0).chunks >= 2, { timeout: 10000 });
  // The stop button sits under the sending overlay's counter.
  await tap(page, [512, 219]);
  await sendEnds(page, 0, 1);
  const chunks = await page.evaluate(() => window.fakeSerial.chunks(0));
  check(chunks.length < 5, `all ${chunks.length} lines went out after the stop`);
  check(await noticeShown(page), 'no notice that sending stopped');
});

test('a board pulled out mid-send ends the send with a notice', async ({ context, server }) => {
  const page = await open(context, server.url, { boards: [CH340] });
  await lay(page, LED_ON, 10, LEFT);
  await lay(page, WAIT10, 10, RIGHT);
  await play(page);
  await page.waitForFunction(() => window.fakeSerial.state(0).chunks >= 2, { timeout: 10000 });
  await page.evaluate(() => window.fakeSerial.pull(0));
  await sendEnds(page, 0, 1);
  await sleep(500);
  check(await noticeShown(page), 'no notice that the board is gone');
});

test('a port granted later (a connect event) becomes the choice', async ({ context, server }) => {
  const page = await open(context, server.url);
  await lay(page, LED_ON, 10, LEFT);
  await page.evaluate(() => window.fakeSerial.plug(0x10c4, 0xea60));
  await sleep(800);
  await play(page);
  await sendEnds(page, 0, 1);
  const { report } = await boardReport(page, 0, 'dov');
  equal(report.saved, ['10 LED 1'], 'the stored program');
});

test('without Web Serial, play says what is needed', async ({ context, server }) => {
  const page = await open(context, server.url, { serial: false });
  await lay(page, LED_ON, 10, LEFT);
  check(!(await noticeShown(page)), 'a notice before play');
  await play(page);
  await sleep(300);
  check(await noticeShown(page), 'no notice');
});

test('the field survives a reload', async ({ context, server }) => {
  let page = await open(context, server.url, { boards: [CH340] });
  await lay(page, LED_ON, 10, LEFT);
  await lay(page, LED_OFF, 20, LEFT);
  await sleep(1500);  // the autosave, and its way into IndexedDB
  await page.close();
  page = await open(context, server.url, { boards: [CH340] });
  await play(page);
  await sendEnds(page, 0, 1);
  const { report } = await boardReport(page, 0, 'dov');
  equal(report.saved, ['10 LED 1', '20 LED 0'], 'the program after the reload');
});

test('Ctrl+S saves a .cards file the desktop reads', async ({ browser, context, server }) => {
  const page = await open(context, server.url);
  const downloads = fs.mkdtempSync(path.join(os.tmpdir(), 'tavrick-web-'));
  try {
    const cdp = await browser.target().createCDPSession();
    await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads, browserContextId: context.id });
    // No save picker: the file goes out as a download.
    await page.evaluate(() => { delete window.showSaveFilePicker; window.showSaveFilePicker = undefined; });
    await lay(page, LED_ON, 10, LEFT);
    await lay(page, WAIT1, 10, RIGHT);
    await page.keyboard.down('Control');
    await page.keyboard.press('s');
    await page.keyboard.up('Control');
    let names = [];
    for (let i = 0; i < 50 && !names.some((n) => n.endsWith('.cards')); ++i) {
      await sleep(200);
      names = fs.readdirSync(downloads);
    }
    const name = names.find((n) => n.endsWith('.cards'));
    check(name, 'nothing downloaded: ' + names);
    const doc = JSON.parse(fs.readFileSync(path.join(downloads, name), 'utf8'));
    equal([doc.format, doc.version, doc.target], ['tavrick-cards', 1, 'Dov'], 'the file header');
    equal(doc.cards.filter((c) => c.row).map((c) => [c.kind, c.row, c.side]).sort(),
          [['led-on', 10, 'left'], ['wait-1', 10, 'right']], 'the cards in slots');
  } finally {
    fs.rmSync(downloads, { recursive: true, force: true });
  }
});

test('with the server stopped, a second visit still loads', async ({ context }) => {
  const own = await T.serve();
  let page = await open(context, own.url);
  await page.waitForFunction(() => navigator.serviceWorker.controller !== null ||
                                   navigator.serviceWorker.ready.then(() => true), { timeout: 20000 });
  await page.evaluate(() => navigator.serviceWorker.ready);
  await sleep(500);
  await page.close();
  await own.stop();
  page = await open(context, own.url);
  const shot = await screenshot(page);
  check(count(shot, [790, 450, 1000, 690], [255, 255, 255], 10) > 8000, 'no screen offline');
});
