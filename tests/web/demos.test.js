// Demos in the page, against the native zorva-sim: games played by keys and
// saved verify natively; a demo of zorva-sim plays on the page, from a file
// and from a link, with the lines --verify prints; forged, damaged and
// oversized ones are refused with the same sentence, and the page plays on.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const zlib = require('node:zlib');
const { root, serve, launch, open, until, shipAt } = require('./support');

let server, browser, dir;
before(async () => {
  server = await serve();
  browser = await launch();
  dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zorva-demos-'));
});
after(async () => {
  await browser?.close();
  server?.stop();
  fs.rmSync(dir, { recursive: true, force: true });
});

// What the native zorva-sim --verify says of a file: its status and lines,
// each without the "zorva-sim: PATH: " of a refusal.
function verify(file) {
  const run = spawnSync(process.env.ZORVA_SIM, ['--verify', file], { encoding: 'utf8' });
  return { status: run.status, lines: (run.stdout + run.stderr).trim().split('\n').map((l) => l.replace(/^zorva-sim: [^:]*: /, '')) };
}
// Waits, with a bound, for a game to be played or a demo to play at its pace.
const played = (page, fn, ...args) => page.waitForFunction(fn, { timeout: 60000, polling: 50 }, ...args);
// The page's lines once there are `count` of them, each without "ZORVA: NAME: ".
async function shown(page, count) {
  await played(page, (count) => document.getElementById('demo-lines').children.length >= count, count);
  return page.$$eval('#demo-lines div', (lines) => lines.map((l) => l.textContent.replace(/^ZORVA: [^:]*: /, '')));
}
const base64url = (bytes) => Buffer.from(bytes).toString('base64url');

// A file the page saves, once it is whole.
async function saved(page, button, last) {
  const before = new Set(fs.readdirSync(dir));
  await page.click(button);
  for (let i = 0; i < 500; ++i) {
    const made = fs.readdirSync(dir).find((f) => !before.has(f) && f.endsWith('.zdm') && f.endsWith('-last.zdm') === last);
    if (made) return path.join(dir, made);
    await new Promise((r) => setTimeout(r, 20));
  }
  throw new Error(`${button} saved nothing`);
}

test('games played by keys are saved whole and as the last game, verify natively, and the link plays on another page', async () => {
  const page = await open(browser, server.url);
  await page.browserContext().overridePermissions(server.url, ['clipboard-read', 'clipboard-write', 'clipboard-sanitized-write']);
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: dir, browserContextId: page.browserContext().id });
  for (const [game, key] of [[1, 'ArrowLeft'], [2, 'Space']]) {
    await page.keyboard.press('Space');
    await page.keyboard.down(key);
    await played(page, (game) => demos.gamesRecorded() === game, game);
    await page.keyboard.up(key);
  }
  const whole = verify(await saved(page, '#save', false)), last = verify(await saved(page, '#save-last', true));
  assert.deepEqual([whole.status, whole.lines.length], [0, 2], whole.lines.join('\n'));
  assert.match(whole.lines[1], /^game 2: .*: verified, WAIT checked throughout$/);
  assert.deepEqual([last.status, last.lines],
    [0, [`${whole.lines[1].replace('game 2', 'game 1')}; the file begins after other games, whose best score, shots and bullets are taken as they are: no shot was in flight at its start, so every point is the game's own`]]);
  await page.click('#link');
  const link = (await (await until(page, () => demos.link)).jsonValue());
  assert.equal(await page.evaluate(() => navigator.clipboard.readText()), link);
  const viewer = await open(browser, link);
  assert.deepEqual(await shown(viewer, 1), last.lines);
  await Promise.all([page.browserContext().close(), viewer.browserContext().close()]);
});

test("zorva-sim's demo plays by file and by link as --verify says; forged, damaged and oversized ones are refused and the page plays on", async () => {
  // A name longer than 100 UTF-16 units, whose characters take two.
  const long = `x${'😀'.repeat(48)}y`, made = path.join(dir, `${long}.zdm`);
  execFileSync(process.env.ZORVA_SIM, ['--record', made, path.join(root, 'tests/golden/next_game.script')]);
  const real = fs.readFileSync(made), expected = verify(made);
  assert.deepEqual([expected.status, expected.lines.length], [0, 2]);
  // The trailer of the last game names another last picture.
  const records = zlib.inflateSync(real.subarray(10));
  records[records.length - 1] ^= 1;
  const files = {
    [`${long}-forged.zdm`]: Buffer.concat([real.subarray(0, 10), zlib.deflateSync(records)]),
    'cut.zdm': real.subarray(0, real.length >> 1),
    'other.zdm': Buffer.from('not a demo at all'),
    'bomb.zdm': Buffer.concat([real.subarray(0, 10), zlib.deflateSync(Buffer.alloc(80 << 20), { level: 9 })]),
  };
  const page = await open(browser, server.url);
  // The page's heap after a collection, its array buffers with it.
  const cdp = await page.createCDPSession(), heap = () => cdp.send('HeapProfiler.collectGarbage')
    .then(() => cdp.send('Runtime.getHeapUsage')).then((use) => use.usedSize + use.backingStorageSize);
  const input = await page.$('#demo-file');
  await input.uploadFile(made);
  assert.deepEqual(await shown(page, 2), expected.lines);
  const heapBefore = await heap();
  for (const [name, bytes] of Object.entries(files)) {
    const file = path.join(dir, name);
    fs.writeFileSync(file, bytes);
    const native = verify(file);
    assert.notEqual(native.status, 0, name);
    await input.uploadFile(file);
    await played(page, (name) => document.getElementById('demo-lines').textContent.includes(name), name);
    assert.deepEqual(await shown(page, native.lines.length), native.lines, name);
  }
  await page.goto(`${server.url}#demo=${'A'.repeat(90000)}`);
  assert.match(await page.$eval('#demo-lines', (p) => p.textContent), /larger than 64 KB.*ask for the file instead/);
  // A link that unpacks to 60 MiB, refused: the page keeps nothing of it, nor of the files before.
  await page.goto(`${server.url}#demo=${base64url(Buffer.concat([real.subarray(0, 10), zlib.deflateSync(Buffer.alloc(60 << 20))]))}`);
  await played(page, () => document.getElementById('demo-lines').textContent.startsWith('ZORVA: link: the file is damaged'));
  const heapAfter = await heap();
  assert.ok(heapAfter < heapBefore + (4 << 20), `${heapBefore} bytes of heap, then ${heapAfter}`);
  await page.keyboard.press('Space');
  assert.equal(await shipAt(page), 146);
  const viewer = await open(browser, `${server.url}#demo=${base64url(real)}`);
  assert.deepEqual(await shown(viewer, 2), expected.lines);
  await Promise.all([page.browserContext().close(), viewer.browserContext().close()]);
});
