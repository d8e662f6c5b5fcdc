// The browser version: zorva-sim built to WebAssembly replays the golden
// scripts under Node.js, and the page, served on 127.0.0.1, is played in
// Debian's chromium with real key and mouse events sent through the DevTools
// protocol. Run by `make test-web`, which passes the paths below.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { spawn, execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const puppeteer = require('puppeteer-core');
const { shipSprite } = require('./support');

const root = path.resolve(__dirname, '../..');
const { ZORVA_PAGE, ZORVA_NODE_SIM, ZORVA_SHOT } = process.env;
const golden = path.join(root, 'tests/golden');
const sleep = (ms) => new Promise((wake) => setTimeout(wake, ms));

test('zorva-sim in WebAssembly gives every golden dump byte for byte', () => {
  const scripts = fs.readdirSync(golden).filter((name) => name.endsWith('.script'));
  assert.ok(scripts.length >= 3);
  for (const name of scripts) {
    const script = path.join(golden, name);
    const options = fs.readFileSync(script, 'utf8').split('\n')[0].replace('# zorva-sim', '').split(' ').filter(Boolean);
    const dump = execFileSync('node', [ZORVA_NODE_SIM, ...options, '--dump', '-', script], { maxBuffer: 1 << 28 });
    assert.ok(dump.equals(fs.readFileSync(script.replace(/script$/, 'jsonl'))), name);
  }
});

// The picture at 1x: the menu bar above the canvas, whose drawing area
// (320 x 320) starts 2 pixels in from the canvas's corner.
const picture = { width: 324, areaX: 2, areaY: 22 };

// FNV-1a 64 of the drawing area, bytes R, G, B, 0 per pixel: the canvas hash
// of zorva-sim's dumps.
function canvasHash(rgba) {
  let h = 0xcbf29ce484222325n;
  for (let y = 0; y < 320; ++y) {
    for (let x = 0; x < 320; ++x) {
      const i = ((y + picture.areaY) * picture.width + x + picture.areaX) * 4;
      for (const b of [rgba[i], rgba[i + 1], rgba[i + 2], 0]) h = BigInt.asUintN(64, (h ^ BigInt(b)) * 0x100000001b3n);
    }
  }
  return h.toString(16).padStart(16, '0');
}

let server, browser, page, url;

before(async () => {
  server = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', ZORVA_PAGE]);
  url = await new Promise((found, failed) => {
    server.stdout.on('data', (text) => {
      const port = /port (\d+)/.exec(text);
      if (port) found(`http://127.0.0.1:${port[1]}/`);
    });
    server.on('exit', () => failed(new Error('the web server did not start')));
  });
  browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  page = await browser.newPage();
  await page.setViewport({ width: 800, height: 720 });
  // What the page does, seen from inside it: every picture it shows (the
  // first one, the first title pass, whole), the display frames, every sound
  // started, its audio context, and whether it kept the browser from using the keys.
  await page.evaluateOnNewDocument(() => {
    const seen = window.seen = { presents: [], sounds: [], keys: [], frames: 0 };
    const frame = () => { ++seen.frames; requestAnimationFrame(frame); };
    frame();
    const put = CanvasRenderingContext2D.prototype.putImageData;
    CanvasRenderingContext2D.prototype.putImageData = function (image, ...at) {
      if (this.canvas.id === 'screen' && seen.presents.push(performance.now()) === 1) seen.firstTitle = image.data.slice();
      return put.call(this, image, ...at);
    };
    const start = AudioBufferSourceNode.prototype.start;
    AudioBufferSourceNode.prototype.start = function (...args) {
      seen.sounds.push({ at: performance.now(), state: this.context.state, seconds: this.buffer.duration });
      return start.apply(this, args);
    };
    const Context = window.AudioContext;
    window.AudioContext = class extends Context { constructor(...args) { super(...args); seen.audio = this; } };
    addEventListener('keydown', (e) => seen.keys.push({ at: performance.now(), code: e.code, kept: e.defaultPrevented }));
  });
});

after(async () => {
  if (browser) await browser.close();
  if (server) server.kill();
});

const pixels = (x, y, w, h) => page.evaluate((...r) =>
  Array.from(document.getElementById('screen').getContext('2d').getImageData(...r).data), x, y, w, h);

// Where the ship stands on its line (x in the drawing area), or -1.
const ship = shipSprite();
async function shipX() {
  const band = await pixels(picture.areaX, picture.areaY + 288, 320, 32);
  const at = (x, i) => band[((Math.floor(i / 96) * 320) + x + (Math.floor(i / 3) % 32)) * 4 + (i % 3)];
  for (let x = 0; x <= 288; ++x) if (ship.every((value, i) => at(x, i) === value)) return x;
  return -1;
}

// Over the next `ms` milliseconds: the passes of the loops (the event pump's
// turns, counted by the page), the pictures shown and the display frames.
async function over(ms) {
  const count = () => page.evaluate(() => [performance.now() / 1000, Module.passes, seen.presents.length, seen.frames]);
  const from = await count(), to = await sleep(ms).then(count);
  const [seconds, passes, shown, frames] = to.map((n, i) => n - from[i]);
  return { seconds, passes, shown, frames, rate: passes / seconds };
}

// The loops run as fast as the page allows, far above the display's rate,
// while the page shows at most one picture per display frame.
function assertUnpaced({ passes, shown, frames, rate }, what) {
  console.log(`${what}: ${rate.toFixed(0)} passes a second, ${shown} pictures in ${frames} display frames`);
  assert.ok(rate > 100 && shown > 0 && shown <= frames + 1, `${what}: ${passes} passes, ${shown} pictures, ${frames} frames`);
}

test('the title screen comes first as zorva-sim draws it, runs unpaced and waits while hidden', async () => {
  // Loaded twice, with nothing cached: first in the browser just started, then
  // again once the browser has settled (the time that counts).
  await page.setCacheEnabled(false);
  const times = [];
  for (let load = 0; load < 2; ++load) {
    await page.goto(url);
    await page.waitForFunction(() => seen.presents.length >= 1, { timeout: 10000 });
    times.push(await page.evaluate(() => seen.presents[0]));
  }
  console.log(`title screen ${times.map((t) => t.toFixed(0)).join(' ms, then ')} ms after the page began loading`);
  const title = await page.evaluate(() => ({
    caption: document.title, canvas: Array.from(seen.firstTitle), audio: Boolean(seen.audio),
  }));
  assert.equal(title.caption, 'ＺＯＲＶＡ');
  // How soon is measured (the README has it); a busy machine may take longer.
  const first = JSON.parse(fs.readFileSync(path.join(golden, 'title_wait.jsonl'), 'utf8').split('\n')[0]);
  assert.equal(canvasHash(title.canvas), first.canvas);
  assert.equal(title.audio, false);  // the page's audio starts with the first key press
  assertUnpaced(await over(1000), 'title screen');
  const hide = (value) => page.evaluate((value) =>
    Object.defineProperty(document, 'hidden', { value, configurable: true }).dispatchEvent(new Event('visibilitychange')), value);
  await hide(true);
  assert.ok((await over(500)).passes <= 1);  // the pass under way ends, the next one waits
  await hide(false);
  assertUnpaced(await over(500), 'title screen shown again');
});

test('SPACE starts a game with the ship at its start, ArrowRight moves it', async () => {
  assert.equal(await shipX(), -1);
  await page.keyboard.press('Space');
  await sleep(300);
  assert.equal(await shipX(), 146);
  await page.keyboard.down('ArrowRight');
  await sleep(400);
  await page.keyboard.up('ArrowRight');
  assert.ok(await shipX() > 146);
  assert.deepEqual(await page.evaluate(() => seen.keys.map((k) => [k.code, k.kept])), [['Space', true], ['ArrowRight', true]]);
  // A key held while the page loses the focus reads as up.
  await page.keyboard.down('ArrowLeft');
  await sleep(100);
  await page.evaluate(() => dispatchEvent(new FocusEvent('blur')));
  await sleep(100);  // the picture shows the ship before the frame's move
  const left = await shipX();
  await sleep(300);
  const later = await shipX();
  assert.ok(left >= 0 && left < 288 && later === left, `${left} ${later}`);
  await page.keyboard.up('ArrowLeft');
});

test('OPTION → WAIT toggles its check mark and the pacing: never above 32 frames a second when checked', async () => {
  const box = await (await page.$('#screen')).boundingBox(), scale = box.width / picture.width;
  const click = (x, y) => page.mouse.click(box.x + x * scale, box.y + y * scale);
  // The 7 x 7 check mark beside WAIT in the open drop-down, drawn in black.
  const checked = async () => {
    await click(20, 10);  // OPTION opens the drop-down
    await sleep(150);
    const mark = await pixels(11, 27, 7, 7);
    return mark.filter((v, i) => i % 4 === 0 && v === 0 && mark[i + 1] === 0 && mark[i + 2] === 0).length > 10;
  };
  assert.equal(await checked(), true);
  await click(40, 30);  // WAIT
  assertUnpaced(await over(1500), 'game without WAIT');
  assert.equal(await checked(), false);
  await click(40, 30);
  const paced = (await over(3000)).rate;
  assert.equal(await checked(), true);
  await click(20, 10);  // closes the drop-down
  console.log(`game with WAIT: ${paced.toFixed(1)} frames a second`);
  // Fewer only when a busy machine wakes the page late (the README has the measured rate).
  assert.ok(paced > 0 && paced <= 34, `${paced}`);
});

test('a sound starts once something is hit, after the first key press; a screenshot is kept', async () => {
  await page.keyboard.down('Space');
  await page.waitForFunction(() => seen.sounds.length > 0, { timeout: 20000 });
  await page.keyboard.up('Space');
  const { sounds, keys } = await page.evaluate(() => seen);
  assert.equal(sounds[0].state, 'running');
  assert.ok(sounds[0].seconds > 0.05 && sounds[0].at > keys[0].at);
  await page.screenshot({ path: ZORVA_SHOT });
});

test('without WebAssembly the page says so in one sentence', async () => {
  const bare = await browser.newPage();
  await bare.evaluateOnNewDocument(() => delete window.WebAssembly);
  await bare.goto(url);
  assert.deepEqual(await bare.$eval('#note', (note) => [note.hidden, note.textContent]),
    [false, 'ZORVA cannot start: this browser does not run WebAssembly.']);
  await bare.close();
});
