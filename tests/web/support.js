// What the browser tests share: a web server for the page, chromium, a page
// of its own for each test (in a browser context of its own, so no service
// worker or cache carries over), and the page's picture read back.
'use strict';
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const puppeteer = require('puppeteer-core');

const root = path.resolve(__dirname, '../..');
const pageDir = process.env.ZORVA_PAGE;

// The picture at 1x: the menu bar above the canvas, whose drawing area
// (320 x 320) starts 2 pixels in from the canvas's corner; OPTION in the bar,
// WAIT in its drop-down.
const picture = { width: 324, height: 344, areaX: 2, areaY: 22, option: [20, 10], wait: [40, 30] };

// A server on 127.0.0.1 once it says its port (`said`), until stop().
async function listening(server, said) {
  const url = await new Promise((found, failed) => {
    server.stdout.on('data', (text) => {
      const port = said.exec(text);
      if (port) found(`http://127.0.0.1:${port[1]}/`);
    });
    server.on('exit', () => failed(new Error(`${server.spawnfile} did not start`)));
  });
  return { url, stop: () => server.kill() };
}

// Serves a folder on 127.0.0.1.
const serve = (dir = pageDir) =>
  listening(spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', dir]), /port (\d+)/);

// A hall of fame, zorva-board, with its database in `dir`, serving the page under /play/.
const board = (dir) => listening(spawn(process.env.ZORVA_BOARD,
  ['--listen', '127.0.0.1:0', '--database', path.join(dir, 'board.db'), '--page', pageDir]), /127\.0\.0\.1:(\d+)\//);

const launch = () => puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync'],
});

// The ship as the sprite sheet holds it (its top-left 32 x 32 cell; an
// 8-bit BMP whose rows run from the bottom), as R, G, B values.
function shipSprite() {
  const bmp = fs.readFileSync(path.join(root, 'assets/sprites.bmp'));
  const width = bmp.readInt32LE(18), height = bmp.readInt32LE(22), pixels = bmp.readUInt32LE(10);
  const palette = 14 + bmp.readUInt32LE(14), stride = (width + 3) & ~3, rgb = [];
  for (let y = 0; y < 32; ++y) {
    for (let x = 0; x < 32; ++x) {
      const entry = palette + 4 * bmp[pixels + (height - 1 - y) * stride + x];
      rgb.push(bmp[entry + 2], bmp[entry + 1], bmp[entry]);
    }
  }
  return rgb;
}

// A page of its own, with the given viewport (and touch screen), showing the
// game. Inside it: seen.presents counts the pictures shown, shipX() says where
// the ship stands on its line (-1: not there), checked() whether the open
// drop-down shows WAIT's check mark (menuOpen(): whether it is open), seen.sounds holds every sound started, and
// canvasHash(rgba) is the hash of zorva-sim's dumps for a picture (the one shown when not given).
// `before` prepares the page before it loads; without `shown` nothing is waited for.
async function open(browser, url, { viewport = { width: 800, height: 720 }, before = async () => {}, shown = true } = {}) {
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  await page.setViewport(viewport);
  await page.evaluateOnNewDocument((ship, at) => {
    const seen = window.seen = { presents: 0, sounds: [] };
    navigator.getGamepads = () => window.pads || [];  // the pads of pad() below
    const put = CanvasRenderingContext2D.prototype.putImageData;
    CanvasRenderingContext2D.prototype.putImageData = function (...args) {
      if (this.canvas.id === 'screen') ++seen.presents;
      return put.apply(this, args);
    };
    const start = AudioBufferSourceNode.prototype.start;
    AudioBufferSourceNode.prototype.start = function (...args) {
      seen.sounds.push(this.buffer);
      return start.apply(this, args);
    };
    const pixels = (...r) => document.getElementById('screen').getContext('2d').getImageData(...r).data;
    // The ship's coloured pixels (R, G, B at i of the sprite), at least nine in
    // ten of them in place: a shot fired may cover a few.
    const lit = ship.flatMap((value, i) => (i % 3 === 0 && value + ship[i + 1] + ship[i + 2] > 0 ? [i] : []));
    window.shipX = () => {
      const band = pixels(at.areaX, at.areaY + 288, 320, 32);
      const pixel = (x, i) => band[((Math.floor(i / 96) * 320) + x + (Math.floor(i / 3) % 32)) * 4 + (i % 3)];
      for (let x = 0; x <= 288; ++x) {
        const same = lit.filter((i) => [0, 1, 2].every((c) => pixel(x, i + c) === ship[i + c])).length;
        if (same >= lit.length * 0.9) return x;
      }
      return -1;
    };
    // FNV-1a 64 of the drawing area, bytes R, G, B, 0 per pixel.
    window.canvasHash = (rgba = pixels(0, 0, at.width, at.height)) => {
      let h = 0xcbf29ce484222325n;
      for (let y = 0; y < 320; ++y) {
        for (let x = 0; x < 320; ++x) {
          const i = ((y + at.areaY) * at.width + x + at.areaX) * 4;
          for (const b of [rgba[i], rgba[i + 1], rgba[i + 2], 0]) h = BigInt.asUintN(64, (h ^ BigInt(b)) * 0x100000001b3n);
        }
      }
      return h.toString(16).padStart(16, '0');
    };
    // The drop-down is open: a pixel of it in the bar's colour, or lit.
    window.menuOpen = () => {
      const [r, g, b] = pixels(90, 30, 1, 1);
      return (r === 212 && g === 208 && b === 200) || (r === 10 && g === 36 && b === 106);
    };
    // The 7 x 7 check mark beside WAIT, drawn in black.
    window.checked = () => {
      const mark = pixels(11, 27, 7, 7);
      return mark.filter((v, i) => i % 4 === 0 && v === 0 && mark[i + 1] === 0 && mark[i + 2] === 0).length > 10;
    };
  }, shipSprite(), picture);
  await before(page);
  await page.goto(url);
  if (shown) await page.waitForFunction(() => seen.presents > 0, { timeout: 20000 });
  return page;
}

// Waits, with a bound, until fn (run in the page) gives a true value.
const until = (page, fn, ...args) => page.waitForFunction(fn, { timeout: 10000, polling: 20 }, ...args);

// A gamepad of standard mapping handed to the page (the browser cannot be
// given a real one): buttons 0..3 the face buttons, 9 Start, 14 and 15 the
// d-pad's left and right, 'stick' the left stick sideways. changes: [[what, value]].
const pad = (page, changes) => page.evaluate((changes) => {
  window.pads = window.pads || [{ axes: [0, 0, 0, 0], buttons: Array.from({ length: 17 }, () => ({ pressed: false })) }];
  for (const [what, value] of changes) {
    if (what === 'stick') pads[0].axes[0] = value;
    else pads[0].buttons[what].pressed = value;
  }
}, changes);

// Where the ship stands once it is seen (a shot or a blast may hide it).
const shipAt = async (page) => (await (await until(page, () => {
  const x = shipX();
  return x >= 0 && [x];
})).jsonValue())[0];

// Where a point of the picture at 1x is on the page, in CSS pixels.
async function onPage(page, [x, y]) {
  const box = await page.$eval('#screen', (c) => c.getBoundingClientRect().toJSON());
  return { x: box.x + (x + 0.5) * box.width / picture.width, y: box.y + (y + 0.5) * box.height / picture.height };
}

module.exports = { root, pageDir, picture, serve, board, launch, shipSprite, open, until, pad, shipAt, onPage };
