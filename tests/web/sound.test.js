// Sound files at the ends of the range the game plays, 1,000 Hz (which the
// browser's own decoder refuses) and 384,000 Hz, heard in the page: what it
// plays is rendered by Web Audio and its pitch and loudness measured.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { serve, launch, open, until } = require('./helpers');

let server, browser;
before(async () => { server = await serve(); browser = await launch(); });
after(async () => { await browser?.close(); server?.stop(); });

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
