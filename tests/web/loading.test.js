// The page as an installed app: its manifest and icons, the service worker's
// cache that lets it start with no network, a new version's cache replacing
// the old; and a WebAssembly file that cannot be loaded.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { root, pageDir, serve, launch, open, until, shipAt } = require('./helpers');

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });

const version = /project\(zorva VERSION ([0-9.]+)/.exec(fs.readFileSync(path.join(root, 'CMakeLists.txt'), 'utf8'))[1];
const kept = ['./', 'index.html', 'zorva.js', 'zorva.wasm', '効果音.wav', 'manifest.json', 'icon-192.png', 'icon-512.png'];

// A copy of the page of its own, served until the test ends.
async function copyServed(t) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zorva-page-'));
  fs.cpSync(pageDir, dir, { recursive: true });
  const server = await serve(dir);
  t.after(() => { server.stop(); fs.rmSync(dir, { recursive: true, force: true }); });
  return { dir, server };
}

// Waits until the only cache is the version's, holding every file.
const cached = (page, name) => until(page, async (name, count) => {
  const names = await caches.keys();
  return names.length === 1 && names[0] === name && (await (await caches.open(name)).keys()).length === count;
}, name, kept.length);

test('after one visit the game starts with no network', async (t) => {
  const { server } = await copyServed(t);
  const page = await open(browser, server.url);
  await cached(page, `zorva-${version}`);
  server.stop();
  await page.setOfflineMode(true);
  await page.reload();
  await until(page, () => seen.presents > 0);
  await page.keyboard.press('Space');
  assert.equal(await shipAt(page), 146);
  await page.browserContext().close();
});

test('a new version replaces the cache of the old one and says so once', async (t) => {
  const { dir, server } = await copyServed(t);
  const page = await open(browser, server.url);
  await cached(page, `zorva-${version}`);
  const worker = path.join(dir, 'sw.js');
  fs.writeFileSync(worker, fs.readFileSync(worker, 'utf8').replace(`'${version}'`, `'${version}.1'`));
  await page.reload();
  await cached(page, `zorva-${version}.1`);
  await until(page, (news) => document.getElementById('news').textContent === news && !document.getElementById('news').hidden,
    `ZORVA ${version}.1 is installed and plays offline.`);
  await page.reload();
  await until(page, () => seen.presents > 0 && navigator.serviceWorker.controller);
  assert.equal(await page.$eval('#news', (news) => news.hidden), true);
  await page.browserContext().close();
});

test('the manifest has what installing needs, with icons of the sizes it states; the page is under 1 MiB', async (t) => {
  const { server } = await copyServed(t);
  const page = await open(browser, server.url);
  const cdp = await page.createCDPSession();
  const { errors, data } = await cdp.send('Page.getAppManifest');
  assert.deepEqual(errors, []);
  const manifest = JSON.parse(data);
  assert.deepEqual([manifest.name, manifest.short_name, manifest.display, manifest.start_url], ['ZORVA', 'ZORVA', 'standalone', './']);
  assert.match(manifest.theme_color, /^#[0-9a-f]{6}$/);
  assert.deepEqual(manifest.icons.map((icon) => icon.sizes), ['192x192', '512x512']);
  const files = fs.readdirSync(pageDir);
  assert.ok(files.reduce((sum, file) => sum + fs.statSync(path.join(pageDir, file)).size, 0) < 1 << 20, 'the page under 1 MiB');
  for (const icon of manifest.icons) {
    const png = fs.readFileSync(path.join(pageDir, icon.src));
    assert.equal(`${png.readUInt32BE(16)}x${png.readUInt32BE(20)}`, icon.sizes, icon.src);
  }
  await cached(page, `zorva-${version}`);
  await until(page, () => navigator.serviceWorker.controller);
  // Nothing installs from a browser context of its own, as from a private window; that aside, it would.
  const { installabilityErrors } = await cdp.send('Page.getInstallabilityErrors');
  assert.deepEqual(installabilityErrors.map((e) => e.errorId).filter((id) => id !== 'in-incognito'), []);
  await page.browserContext().close();
});

test('a missing or cut WebAssembly file says that the game could not be loaded', async () => {
  const wasm = fs.readFileSync(path.join(pageDir, 'zorva.wasm'));
  const server = await serve();
  const answers = [{ status: 404, body: 'not here' }, { status: 200, contentType: 'application/wasm', body: wasm.subarray(0, wasm.length / 2) }];
  for (const answer of answers) {
    const page = await open(browser, server.url, { shown: false, before: async (p) => {
      await p.setRequestInterception(true);
      p.on('request', (request) => (request.url().endsWith('/zorva.wasm') ? request.respond(answer) : request.continue()));
    } });
    await until(page, () => !document.getElementById('note').hidden);
    assert.equal(await page.$eval('#note', (note) => note.textContent), 'ZORVA cannot start: its WebAssembly (zorva.wasm) could not be loaded.');
    await page.browserContext().close();
  }
  server.stop();
});
