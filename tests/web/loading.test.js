// The page's files as a browser gets them: the manifest and icons that install
// it, the service worker's cache that lets it start with no network (also from
// a host without the sound), a new version's cache replacing the old, or none
// if it cannot install; a WebAssembly file that cannot be loaded, or no
// WebAssembly; sound files at the ends of the range the game plays, 1,000 Hz
// (which the browser's own decoder refuses) and 384,000 Hz, rendered by Web
// Audio and their pitch and loudness measured.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const zlib = require('node:zlib');
const { root, pageDir, serve, launch, open, until, shipAt } = require('./support');

let server, browser;
before(async () => { server = await serve(); browser = await launch(); });
after(async () => { await browser?.close(); server?.stop(); });

const version = /project\(zorva VERSION ([0-9.]+)/.exec(fs.readFileSync(path.join(root, 'CMakeLists.txt'), 'utf8'))[1];
const kept = ['./', 'index.html', 'demos.js', 'hall.js', 'zorva.js', 'zorva.wasm', '効果音.wav', 'manifest.json', 'icon-192.png', 'icon-512.png'];

// A copy of the page of its own, served until the test ends.
async function copyServed(t) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zorva-page-'));
  fs.cpSync(pageDir, dir, { recursive: true });
  const server = await serve(dir);
  t.after(() => { server.stop(); fs.rmSync(dir, { recursive: true, force: true }); });
  return { dir, server };
}

// Waits until the only cache is the version's, holding `count` files.
const cached = (page, name, count = kept.length) => until(page, async (name, count) => {
  const names = await caches.keys();
  return names.length === 1 && names[0] === name && (await (await caches.open(name)).keys()).length === count;
}, name, count);

// (The next version's host, below, has the sound.)
test('the page installs (manifest, icons as stated, at most 512 KiB, 150 KiB gzipped); a visit to a host without the sound lets it play offline', async (t) => {
  const { dir, server } = await copyServed(t);
  fs.rmSync(path.join(dir, '効果音.wav'));
  const page = await open(browser, server.url);
  const cdp = await page.createCDPSession();
  const { errors, data } = await cdp.send('Page.getAppManifest');
  assert.deepEqual(errors, []);
  const manifest = JSON.parse(data);
  assert.deepEqual([manifest.name, manifest.short_name, manifest.display, manifest.start_url], ['ZORVA', 'ZORVA', 'standalone', './']);
  assert.match(manifest.theme_color, /^#[0-9a-f]{6}$/);
  const png = (file) => fs.readFileSync(path.join(pageDir, file)), size = (png) => `${png.readUInt32BE(16)}x${png.readUInt32BE(20)}`;
  assert.deepEqual(manifest.icons.map((icon) => [icon.sizes, size(png(icon.src))]), [['192x192', '192x192'], ['512x512', '512x512']]);
  // Every file of the page, as served and as gzipped (each on its own, as a host would send it).
  const files = fs.readdirSync(pageDir).map((file) => fs.readFileSync(path.join(pageDir, file)));
  const bytes = files.reduce((sum, file) => sum + file.length, 0);
  const gzipped = files.reduce((sum, file) => sum + zlib.gzipSync(file, { level: 9 }).length, 0);
  assert.ok(bytes <= 512 << 10 && gzipped <= 150 << 10, `the page: ${bytes} bytes, ${gzipped} gzipped`);
  await cached(page, `zorva-${version}`, kept.length - 1);
  await until(page, () => navigator.serviceWorker.controller);
  // Nothing installs from a browser context of its own, as from a private window; that aside, it would.
  const { installabilityErrors } = await cdp.send('Page.getInstallabilityErrors');
  assert.deepEqual(installabilityErrors.map((e) => e.errorId).filter((id) => id !== 'in-incognito'), []);
  server.stop();
  await page.setOfflineMode(true);
  await page.reload();
  await until(page, () => seen.presents > 0);
  await page.keyboard.press('Space');
  assert.equal(await shipAt(page), 146);
  await page.browserContext().close();
});

// The next version, whole or with a file missing: its worker activated or thrown away, the cache left.
for (const [left, state, cache, what] of [[[], 'activated', `${version}.1`, 'replaces the cache of the old one and says so once'],
  [['icon-512.png'], 'redundant', version, 'that cannot install leaves the old one and its cache as they were']]) {
  test(`a new version ${what}`, async (t) => {
    const { dir, server } = await copyServed(t);
    const page = await open(browser, server.url);
    await cached(page, `zorva-${version}`);
    // The first version's worker active before the second is served.
    await until(page, async () => (await navigator.serviceWorker.getRegistration())?.active?.state === 'activated');
    const worker = path.join(dir, 'sw.js');
    fs.writeFileSync(worker, fs.readFileSync(worker, 'utf8').replace(`'${version}'`, `'${version}.1'`));
    for (const file of left) fs.rmSync(path.join(dir, file));
    // The server dates its files to the second: within the second of the first
    // version's copy it would answer the browser's check with "not modified".
    fs.utimesSync(worker, Date.now() / 1000 + 60, Date.now() / 1000 + 60);
    // The next version's worker, once it is active or thrown away.
    assert.equal(await page.evaluate(() => navigator.serviceWorker.getRegistration().then((r) => new Promise((done) => {
      r.onupdatefound = () => { r.installing.onstatechange = (e) => /activated|redundant/.test(e.target.state) && done(e.target.state); };
      r.update();
    }))), state);
    await cached(page, `zorva-${cache}`);
    await until(page, (news) => document.getElementById('news').textContent === news && document.getElementById('news').hidden === !news,
      left.length ? '' : `ZORVA ${version}.1 is installed and plays offline.`);
    await page.reload();
    await until(page, () => seen.presents > 0 && navigator.serviceWorker.controller);
    assert.equal(await page.$eval('#news', (news) => news.hidden), true);
    await page.browserContext().close();
  });
}

test('a missing or cut WebAssembly file, or a browser without WebAssembly, says in one sentence why the game cannot start', async () => {
  const wasm = fs.readFileSync(path.join(pageDir, 'zorva.wasm')), lost = 'its WebAssembly (zorva.wasm) could not be loaded';
  const answer = (answer) => async (p) => {
    await p.setRequestInterception(true);
    p.on('request', (request) => (request.url().endsWith('/zorva.wasm') ? request.respond(answer) : request.continue()));
  };
  const pages = [[answer({ status: 404, body: 'not here' }), lost],
    [answer({ status: 200, contentType: 'application/wasm', body: wasm.subarray(0, wasm.length / 2) }), lost],
    [(p) => p.evaluateOnNewDocument(() => delete window.WebAssembly), 'this browser does not run WebAssembly']];
  for (const [before, why] of pages) {
    const page = await open(browser, server.url, { shown: false, before });
    await until(page, () => !document.getElementById('note').hidden);
    assert.equal(await page.$eval('#note', (note) => note.textContent), `ZORVA cannot start: ${why}.`);
    await page.browserContext().close();
  }
});

// A wave file: half a second of a sine of `tone` Hz at half loudness, 16-bit mono.
function wave(rate, tone) {
  const frames = rate / 2, file = Buffer.alloc(44 + 2 * frames);
  file.write('RIFF', 0), file.writeUInt32LE(36 + 2 * frames, 4), file.write('WAVEfmt ', 8);
  file.writeUInt32LE(16, 16), file.writeUInt16LE(1, 20), file.writeUInt16LE(1, 22), file.writeUInt32LE(rate, 24);
  file.writeUInt32LE(2 * rate, 28), file.writeUInt16LE(2, 32), file.writeUInt16LE(16, 34);
  file.write('data', 36), file.writeUInt32LE(2 * frames, 40);
  for (let i = 0; i < frames; ++i) file.writeInt16LE(Math.round(16384 * Math.sin(2 * Math.PI * tone * i / rate)), 44 + 2 * i);
  return file;
}

test('1,000 Hz and 384,000 Hz wave files are heard at their pitch', async () => {
  for (const [rate, tone] of [[1000, 100], [384000, 440]]) {
    const page = await open(browser, server.url, { before: async (p) => {
      await p.setRequestInterception(true);
      p.on('request', (request) => (request.url().endsWith('.wav')
        ? request.respond({ status: 200, contentType: 'audio/wav', body: wave(rate, tone) }) : request.continue()));
    } });
    await page.keyboard.press('ArrowDown');  // lets the page play
    await until(page, () => audio && audio.state === 'running');
    await page.evaluate(() => Module.playSound('効果音.wav'));
    await until(page, () => seen.sounds.length > 0);
    const heard = await page.evaluate(async () => {
      const played = seen.sounds[0], rate = 48000;
      const context = new OfflineAudioContext(1, Math.ceil(played.duration * rate), rate);
      const source = context.createBufferSource();
      source.buffer = played;
      source.connect(context.destination);
      source.start();
      const out = (await context.startRendering()).getChannelData(0);
      // Half waves: swings from below -0.1 to above 0.1 and back.
      let crossings = 0, power = 0, side = 0;
      for (const x of out) {
        const now = x > 0.1 ? 1 : x < -0.1 ? -1 : side;
        crossings += side !== 0 && now !== side ? 1 : 0;
        side = now;
        power += x * x;
      }
      return { seconds: played.duration, pitch: crossings / 2 / played.duration, loudness: Math.sqrt(power / out.length) };
    });
    assert.ok(Math.abs(heard.seconds - 0.5) < 0.01, `${rate}: ${heard.seconds} s`);
    assert.ok(Math.abs(heard.pitch - tone) < tone * 0.05, `${rate}: ${heard.pitch} Hz`);
    assert.ok(heard.loudness > 0.3 && heard.loudness < 0.4, `${rate}: ${heard.loudness}`);
    await page.browserContext().close();
  }
});
