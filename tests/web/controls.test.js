// The page's controls: on a phone its touch controls, driven by the DevTools
// protocol's touch events, in portrait and landscape; a gamepad; the page in
// viewports smaller than the picture, and on a desktop without touch.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const { picture, serve, launch, open, until, pad, shipAt, onPage } = require('./support');

let server, browser;
before(async () => { server = await serve(); browser = await launch(); });
after(async () => { await browser?.close(); server?.stop(); });

const phone = (width, height) => ({ width, height, deviceScaleFactor: 2, isMobile: true, hasTouch: true });
const boxes = (page) => page.evaluate(() => Object.fromEntries(['Left', 'Right', 'Fire'].map((name) =>
  [name, document.querySelector(`[aria-label="${name}"]`)]).concat([['picture', document.getElementById('screen')]])
  .map(([name, e]) => [name, e.checkVisibility() ? e.getBoundingClientRect().toJSON() : null])));
const centre = (box) => ({ x: box.x + box.width / 2, y: box.y + box.height / 2 });

// Touch points held at once, by id: touch(page, 'touchStart', [[0, point], [1, point]]).
async function touch(page, type, points = []) {
  page.cdp = page.cdp || await page.createCDPSession();
  await page.cdp.send('Input.dispatchTouchEvent', { type, touchPoints: points.map(([id, { x, y }]) => ({ id, x, y })) });
}
const tap = async (page, point) => { await touch(page, 'touchStart', [[0, point]]); await touch(page, 'touchEnd'); };

const layouts = [
  { name: 'portrait', viewport: phone(360, 740), beside: (c, p) => c.y >= p.y + p.height },
  { name: 'landscape', viewport: phone(740, 360),
    beside: (c, p, name) => (name === 'Fire' ? c.x >= p.x + p.width : c.x + c.width <= p.x) },
];

for (const { name, viewport, beside } of layouts) {
  test(`a phone in ${name}: the controls beside the picture play the game, several at once`, async () => {
    const page = await open(browser, server.url, { viewport });
    const at = await boxes(page), { picture: shown } = at;
    assert.ok(Number.isInteger(shown.width * viewport.deviceScaleFactor / picture.width), `${shown.width}`);
    for (const control of ['Left', 'Right', 'Fire']) {
      const box = at[control];  // thumb-sized, on the screen, beside the picture
      assert.ok(box && box.width >= 48 && box.height >= 48 && box.x >= 0 && box.y >= 0 && box.x + box.width <= viewport.width &&
        box.y + box.height <= viewport.height && beside(box, shown, control), `${control} ${JSON.stringify(box)} ${JSON.stringify(shown)}`);
    }
    await tap(page, centre(at.Fire));
    await until(page, () => shipX() === 146 && audio.state === 'running');  // a touch lets the page play, too
    await touch(page, 'touchStart', [[0, centre(at.Right)], [1, centre(at.Fire)]]);
    await until(page, () => shipX() > 180);
    // The finger on RIGHT slides over to LEFT without lifting.
    const right = await shipAt(page);
    await touch(page, 'touchMove', [[0, centre(at.Left)], [1, centre(at.Fire)]]);
    await until(page, (from) => shipX() >= 0 && shipX() < from - 20, right);
    await touch(page, 'touchEnd');
    // The demo buttons lie off the picture, and a tap on one is a click.
    const save = await page.$eval('#save', (b) => b.getBoundingClientRect().toJSON());
    assert.ok(save.y + save.height <= shown.y || save.x + save.width <= shown.x, JSON.stringify(save));
    await tap(page, centre(save));
    await until(page, () => document.getElementById('demo-lines').textContent.startsWith('No game has ended yet'));
    await page.screenshot({ path: path.join(path.dirname(process.env.ZORVA_SHOT), `page-${name}.png`) });
    await page.browserContext().close();
  });
}

test('a tap on OPTION then WAIT toggles the check mark; a key or a pad puts the controls aside until the next touch', async () => {
  const page = await open(browser, server.url, { viewport: phone(360, 740) });
  for (const mark of [true, false, true]) {
    await tap(page, await onPage(page, picture.option));
    await until(page, (mark) => menuOpen() && checked() === mark, mark);
    await tap(page, await onPage(page, picture.wait));
    await until(page, () => !menuOpen());
  }
  for (const use of [() => page.keyboard.press('ArrowDown'), () => pad(page, [[3, true]])]) {
    await use();
    await until(page, () => !document.querySelector('[aria-label="Fire"]').checkVisibility());
    await pad(page, [[3, false]]);
    await tap(page, { x: 180, y: 100 });
    assert.equal(await page.$eval('[aria-label="Fire"]', (e) => e.checkVisibility()), true);
  }
  await page.browserContext().close();
});

test('without a touch screen there are no controls; a page smaller than the picture keeps it, and OPTION, on it', async () => {
  // The page's width and height, and whether OPTION is large enough there to be clicked.
  for (const [width, height, clicked] of [[800, 720, true], [200, 200, true], [3000, 200, true], [40, 40, true], [1, 1, false]]) {
    const page = await open(browser, server.url, { viewport: { width, height } });
    const at = await boxes(page);
    assert.deepEqual([at.Left, at.Right, at.Fire], [null, null, null]);
    assert.ok(at.picture.x >= 0 && at.picture.y >= 0 && at.picture.x + at.picture.width <= width &&
      at.picture.y + at.picture.height <= height, JSON.stringify(at.picture));
    if (clicked) {
      const option = await onPage(page, picture.option);
      await page.mouse.click(option.x, option.y);
      await until(page, () => menuOpen() && checked());
    }
    await page.browserContext().close();
  }
});

test('a pad connected during play starts the game, moves the ship by stick and d-pad and fires', async () => {
  for (const start of [[[0, true]], [[9, true]], [[3, true]]]) {
    const page = await open(browser, server.url);
    await pad(page, start);
    await until(page, () => shipX() === 146);
    await pad(page, [[start[0][0], false]]);
    // [what is held, ship's way: 1 right, -1 left]; a stick pushed less than a quarter does nothing.
    const moves = [[['stick', 0.2], 0], [['stick', 0.6], 1], [['stick', -0.9], -1], [[15, true], 1], [[14, true], -1]];
    for (const [held, way] of moves) {
      const from = await shipAt(page);
      await pad(page, [held, [1, true]]);
      if (way === 0) {
        // The ship stays while a shot goes up above it: many bright blue pixels.
        await until(page, (x) => Array.from(document.getElementById('screen').getContext('2d')
          .getImageData(x, 100, 36, 200).data).filter((v, i) => i % 4 === 2 && v > 200).length > 40, from);
        assert.equal(await shipAt(page), from);
      } else {
        await until(page, (from, way) => shipX() >= 0 && (shipX() - from) * way > 30, from, way);
      }
      await pad(page, [[held[0], held[0] === 'stick' ? 0 : false], [1, false]]);
    }
    await page.browserContext().close();
  }
});
