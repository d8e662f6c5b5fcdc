// The page served by a real zorva-board on loopback: the week's challenge
// played in the page, saved, verifies natively game for game; submitted
// under a name asked once, every game of it stands in the week's table with
// the week's seed (the answer at once, or, from a hall that verifies later,
// polled for); the hall's Watch plays it in the page, verified with the
// same line as the native verifier's. A demo of another site is refused in a
// sentence; served by anything but a board, the page offers none of it.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { serve, board, launch, open, until } = require('./support');

let hall, server, browser, dir;
before(async () => {
  dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zorva-hall-'));
  [hall, server, browser] = await Promise.all([board(dir), serve(), launch()]);
});
after(async () => {
  await browser?.close();
  hall?.stop();
  server?.stop();
  fs.rmSync(dir, { recursive: true, force: true });
});

// Waits, with a bound, for a game to be played or a demo to play.
const played = (page, fn, ...args) => page.waitForFunction(fn, { timeout: 90000, polling: 50 }, ...args);
const lines = (page) => page.$$eval('#demo-lines div', (divs) => divs.map((d) => d.textContent.trim()));
const api = async (address) => (await fetch(new URL(address, hall.url))).json();

test('a challenge played in the page verifies natively, is submitted, ranked in the week and watched from the hall', async () => {
  const week = await api('/api/challenge');
  const page = await open(browser, `${hall.url}play/`);
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: dir, browserContextId: page.browserContext().id });
  await until(page, () => !document.getElementById('challenge').hidden);
  await page.click('#challenge');
  await until(page, () => !document.getElementById('challenge-note').hidden);
  assert.match(await page.$eval('#challenge-note', (p) => p.textContent), new RegExp(`${week.week}: .* ${week.code}, the same for every player`));
  // Two games, the ship standing still: each ends on its own after its GAME OVER.
  for (const game of [1, 2]) {
    await page.keyboard.press('Space');
    await played(page, (game) => demos.gamesRecorded() === game, game);
  }
  await page.click('#save');
  const file = await (async () => {
    for (let i = 0; i < 500; ++i, await new Promise((r) => setTimeout(r, 20))) {
      const made = fs.readdirSync(dir).find((f) => f.endsWith('.zdm'));
      if (made) return path.join(dir, made);
    }
    throw new Error('nothing saved');
  })();
  const native = spawnSync(process.env.ZORVA_SIM, ['--verify', file], { encoding: 'utf8' });
  const verified = native.stdout.trim().split('\n');
  assert.equal(native.status, 0, native.stderr);
  assert.deepEqual(verified.map((l) => /: verified, WAIT checked throughout$/.test(l)), [true, true], native.stdout);

  // The name is asked once, and kept.
  let asked = 0;
  page.on('dialog', (dialog) => { ++asked; dialog.accept('Ann'); });
  await page.click('#submit');
  await played(page, () => document.getElementById('demo-lines').textContent.includes('entered in the hall'));
  const score = (line) => /score (\d+)/.exec(line)[1];
  const answer = await lines(page);
  assert.equal(answer.length, 3, answer.join('\n'));
  assert.equal(answer[0], '2 games entered in the hall.');
  verified.forEach((l, i) => assert.match(answer[i + 1],
    new RegExp(`^game ${i + 1}: ${score(l)} points, rank [12] of all time, in the table of week ${week.week} Watch Entry$`)));
  // A hall that verifies later answers 202 and its address 202 until the
  // verdict, here the real hall's to the same file sent again.
  const form = new FormData();
  form.append('name', 'Ann');
  form.append('demo', new Blob([fs.readFileSync(file)]), 'run.zdm');
  const again = await fetch(new URL('/api/games', hall.url), { method: 'POST', body: form, headers: { Accept: 'application/json' } });
  const verdict = { status: again.status, contentType: 'application/json', body: await again.text() };
  const later = { status: 202, headers: { 'Retry-After': '1' }, contentType: 'application/json', body: '{}' };
  let polled = 0;
  const hallLater = (r) => (r.url().endsWith('/api/games') ? r.respond({ ...later, headers: { ...later.headers, Location: 'entries/7' } })
    : r.url().endsWith('/api/entries/7') ? r.respond(++polled < 3 ? later : verdict) : r.continue());
  await page.setRequestInterception(true);
  page.on('request', hallLater);
  await page.click('#submit');
  await played(page, () => document.getElementById('demo-lines').textContent.includes('in the hall already'));
  assert.deepEqual([polled, asked, verdict.status], [3, 1, 200]);
  const unranked = (all) => all.slice(1).map((l) => l.replace(/rank \d+/, 'rank'));  // the ranks are of now
  assert.deepEqual(unranked(await lines(page)), unranked(answer));
  page.off('request', hallLater);
  await page.setRequestInterception(false);
  const table = await api('/api/scores?week=current');
  assert.deepEqual(table.entries.map((e) => [e.name, e.seed, e.week]).sort(), [['Ann', week.seed, week.week], ['Ann', week.seed, week.week]]);

  // Watched from the hall: the first game, as the native verifier says it.
  const first = table.entries.find((e) => e.game === 1);
  await page.goto(hall.url);
  await page.click(`a[href="/play/#demo-url=/games/${first.id}.zdm"]`);
  await until(page, () => document.documentElement.classList.contains('viewing'));
  for (let i = 0; i < 5; ++i) await page.keyboard.press('BracketRight');  // as fast as it goes
  await played(page, () => document.getElementById('demo-lines').textContent.startsWith('game 1:'));
  assert.deepEqual(await lines(page), [verified[0]]);
  assert.equal(score(verified[0]), String(first.score));

  // A demo of another site (the same server under another name) is refused.
  await page.goto(`${hall.url}play/#demo-url=${hall.url.replace('127.0.0.1', 'localhost')}games/${first.id}.zdm`);
  await played(page, () => document.getElementById('demo-lines').textContent.includes('another site'));
  assert.match((await lines(page)).join('\n'), /^ZORVA: link: the demo is on another site \(http:\/\/localhost:\d+\); the page opens demos of its own site only$/);
  await page.browserContext().close();
});

test('served by anything but a board, the page offers neither the challenge nor the hall', async () => {
  const page = await open(browser, server.url);
  assert.equal(await page.evaluate(() => hall.found), false);
  assert.deepEqual(await page.$$eval('#challenge, #submit, #hall, #challenge-note', (all) => all.map((e) => e.hidden)), [true, true, true, true]);
  await page.browserContext().close();
});
