// Demos in the page, against the native zorva-sim: games played by keys and
// saved verify natively; a demo of zorva-sim plays on the page, from a file
// and from a link, with the lines --verify prints; forged, damaged and
// oversized ones are refused with the same sentence, and the page plays on. A
// demo watched: a link that starts at a frame, steps, pause, seeks by the
// slider, the picture's bar and keys, the games skipped and a speed, by keys
// and by the buttons beside the picture; each frame the page stands on shows
// zorva-sim's canvas there, the link copied there opens there, and the games
// verify as zorva-sim --verify says whatever the viewer did.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const zlib = require('node:zlib');
const { root, serve, launch, open, until, shipAt, onPage } = require('./support');

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

// Three games: the first ends at its GAME OVER, SPACE held starts the second at once, the third is closed.
const script = '2 -\n1 tap:SPACE\n100 RIGHT SPACE\n300 SPACE\n1 -\n1 tap:SPACE\n300 LEFT SPACE\n1 close\n';

test('the controls beside the picture, its bar and the keys take the playback to the frames zorva-sim shows', async () => {
  const demo = path.join(dir, 'three.zdm');
  const sim = (...args) => execFileSync(process.env.ZORVA_SIM, args,
    { input: script, encoding: 'utf8', maxBuffer: 1 << 28, stdio: 'pipe' });
  sim('--seed', '3', '--record', demo, '-');
  const frames = sim('--play', demo, '--dump', '-').split('\n').filter((l) => l.includes('"loop":"game"')).map((l) => JSON.parse(l));
  const n = frames.length, starts = frames.flatMap((record, i) => (i === 0 || frames[i - 1].ends_game ? [i + 1] : []));
  // Once the page stands on a frame other than `from`: that frame, whose canvas it shows, and the ms since `asked`.
  async function stands(page, from, asked = 0) {
    await until(page, (from) => demos.stood !== from && !document.getElementById('view-link').hidden, from);
    const [frame, ms] = await page.evaluate((asked) => [demos.stood, performance.now() - asked], asked);
    await until(page, (hash) => canvasHash() === hash, frames[frame - 1].canvas);
    return [frame, ms];
  }
  const link = `${server.url}#demo=${fs.readFileSync(demo).toString('base64url')}`;
  const page = await open(browser, `${link}&frame=40`);
  await page.browserContext().overridePermissions(server.url, ['clipboard-read', 'clipboard-write', 'clipboard-sanitized-write']);
  let [at] = await stands(page, 0);
  assert.equal(at, 40);

  const key = (code) => () => page.keyboard.press(code);
  const button = (label) => () => page.click(`#viewer [aria-label="${label}"]`);
  const slider = (x) => () => page.$eval('#view-at', (e) => e.getBoundingClientRect().toJSON())
    .then((box) => page.mouse.click(box.x + box.width * x, box.y + box.height / 2));
  const bar = (x) => () => onPage(page, [2 + 319 * x, 10]).then((p) => page.mouse.click(p.x, p.y));
  const resumeAndPause = () => page.keyboard.press('Space').then(() => until(page, (from) =>
    Number(/FRAME\s(\d+)/.exec(document.getElementById('view-line').textContent)[1]) > from + 30, at)).then(key('KeyK'));
  // [what the viewer does, whether it may then stand on frame `to` from frame `from`]
  const steps = [
    ['period', key('Period'), (from, to) => to === from + 1],
    ['comma', key('Comma'), (from, to) => to === from - 1],
    ['the button of the next game', button('Next game'), (from, to) => to === starts[1]],
    ['End', key('End'), (from, to) => to === n - 1],  // the last frame that ended: the window closes in the next
    ['the slider in the middle', slider(0.5), (from, to) => to > n / 4 && to < n * 3 / 4],
    ['Left (5 s back)', key('ArrowLeft'), (from, to) => from - to > 60 && from - to < 220],
    ['the button 5 s on', button('5 seconds on'), (from, to) => to - from > 60 && to - from < 220],
    ['the button of the start', button('Start'), (from, to) => to === 1],
    ["the picture's bar at three quarters", bar(0.75), (from, to) => to > n / 2],
    ['SPACE then K', resumeAndPause, (from, to) => to > from + 30],
    ['the button a frame back', button('A frame back'), (from, to) => to === from - 1],
    ['Page Up', key('PageUp'), (from, to) => starts.includes(to) && to <= from],
  ];
  for (const [what, act, expected] of steps) {
    const asked = await page.evaluate(() => performance.now());
    await act();
    const [to, ms] = await stands(page, at, asked);
    assert.ok(expected(at, to), `${what}: from frame ${at} to ${to}`);
    console.log(`${what}: from frame ${at} to ${to} of ${n} in ${ms.toFixed(0)} ms`);
    at = to;
  }

  // The link at the frame stood on opens there.
  await page.click('#view-link');
  const copied = await (await until(page, () => demos.link)).jsonValue();
  assert.deepEqual([copied, await page.evaluate(() => navigator.clipboard.readText())], [`${link}&frame=${at}`, copied]);
  const other = await open(browser, copied);
  assert.equal((await stands(other, 0))[0], at);
  await other.browserContext().close();

  // At 16x the rest plays out, and every game is told as the native verifier tells it.
  for (const faster of [button('Faster'), key('BracketRight'), key('ArrowUp'), key('ArrowUp')]) await faster();
  await until(page, () => document.getElementById('view-speed').textContent === '16x');
  await page.click('#view-pause');
  await page.waitForFunction(() => !document.documentElement.classList.contains('viewing'), { timeout: 60000 });
  const copiedLine = `The link to frame ${at} (${fs.statSync(demo).size.toLocaleString('en')} bytes of demo) is copied.`;
  assert.deepEqual(await shown(page, 4), [...verify(demo).lines, copiedLine]);
  await page.browserContext().close();
});
