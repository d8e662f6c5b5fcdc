// A gamepad in the page: navigator.getGamepads answers with a stand-in pad
// (the browser cannot be handed a real one), connected during play.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { serve, launch, open, until, shipAt } = require('./helpers');

let server, browser;
before(async () => { server = await serve(); browser = await launch(); });
after(async () => { await browser?.close(); server?.stop(); });

// Standard mapping: buttons 0..3 the face buttons, 9 Start, 14 and 15 the
// d-pad's left and right; axis 0 the left stick sideways.
const press = (page, changes) => page.evaluate((changes) => {
  window.pads = window.pads || [{ axes: [0, 0, 0, 0], buttons: Array.from({ length: 17 }, () => ({ pressed: false })) }];
  for (const [what, value] of changes) {
    if (what === 'stick') pads[0].axes[0] = value;
    else pads[0].buttons[what].pressed = value;
  }
}, changes);

test('a pad connected during play starts the game, moves the ship by stick and d-pad and fires', async () => {
  const starts = [[[0, true]], [[9, true]], [[3, true]]];
  for (const start of starts) {
    const page = await open(browser, server.url, { before: (p) => p.evaluateOnNewDocument(() => {
      navigator.getGamepads = () => window.pads || [null, null, null, null];
    }) });
    await press(page, start);
    await until(page, () => shipX() === 146);
    await press(page, [[start[0][0], false]]);
    // [what is held, ship's way: 1 right, -1 left]; a stick pushed less than a quarter does nothing.
    const moves = [[['stick', 0.2], 0], [['stick', 0.6], 1], [['stick', -0.9], -1], [[15, true], 1], [[14, true], -1]];
    for (const [held, way] of moves) {
      const from = await shipAt(page);
      await press(page, [held, [1, true]]);
      if (way === 0) {
        // The ship stays while a shot goes up above it: many bright blue pixels.
        await until(page, (x) => Array.from(document.getElementById('screen').getContext('2d')
          .getImageData(x, 100, 36, 200).data).filter((v, i) => i % 4 === 2 && v > 200).length > 40, from);
        assert.equal(await shipAt(page), from);
      } else {
        await until(page, (from, way) => shipX() >= 0 && (shipX() - from) * way > 30, from, way);
      }
      await press(page, [[held[0], held[0] === 'stick' ? 0 : false], [1, false]]);
    }
    await page.browserContext().close();
  }
});
