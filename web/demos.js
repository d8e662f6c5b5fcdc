// Demos in the page. The program records every game of a visit in the
// page's memory as a demo file whose records are not yet packed, and plays a
// file whose records are already unpacked: this script packs and unpacks them
// with the browser's own deflate (CompressionStream, the zlib format the
// desktop writes), so that files go both ways. It saves the games so far or
// the last one, copies the link of the last one (#demo=<base64url of the
// file>), and opens a file chosen, dropped or linked, with the desktop's rules:
// bounded sizes, nothing sized from the file, one sentence for what is refused.
// While a demo plays, its controls beside the picture ask the program's
// viewer, and a link may start at a frame (#demo=...&frame=N). A link may
// also name a demo on the page's own site (#demo-url=/games/1.zdm), which is
// fetched and opened as a file is.
'use strict';
const demos = (() => {
  const header = 10;                // the file's header, never packed
  const maxFile = 64 << 20;         // as on the desktop
  // The most the page unpacks (the desktop 1 GiB), hours of play: what the
  // program then reads stays within the 64 MiB of any demo file.
  const maxRecords = maxFile - header;
  const maxLink = 64 << 10;         // the largest file a link carries
  const panel = () => document.getElementById('demo-lines');
  let ready = null, run = null, kept = null;
  const started = new Promise((resolve) => { ready = resolve; });

  // The panel's lines: the playback's, or one sentence.
  function clear() { panel().textContent = ''; panel().hidden = true; }
  function line(text) {
    const p = document.createElement('div');
    p.textContent = text;
    panel().appendChild(p);
    panel().hidden = false;
  }
  const say = (text) => { clear(); line(text); };

  // The run's recording as the program's memory holds it, copied.
  function recording() {
    const at = Module._zorva_recording();
    return Module.HEAPU8.slice(at, at + Module._zorva_recording_size());
  }
  // The recording of the run (where each of its games ends), or, before the
  // run has a game, the one before.
  function runEvent(event) {
    if (event === 0) run = { ends: [] };
    if (event === 1) {
      run.ends.push(Module._zorva_recording_size());
      document.getElementById('link').style.visibility = 'visible';  // its room kept from the start
      if (demos.onGame) demos.onGame();
    }
    if (event === 2 && run.ends.length > 0) kept = recorded();
  }
  function recorded() { return run && run.ends.length > 0 ? { bytes: recording(), ends: run.ends } : kept; }

  const available = () => typeof CompressionStream === 'function' && typeof DecompressionStream === 'function';
  const through = (bytes, stream) => new Response(new Blob([bytes]).stream().pipeThrough(stream)).arrayBuffer();

  // The demo file of the games recorded so far, or of the last one alone.
  async function pack(lastOnly) {
    const games = recorded();
    if (!games) return null;
    const end = games.ends[games.ends.length - 1];
    const start = lastOnly && games.ends.length > 1 ? games.ends[games.ends.length - 2] : header;
    const body = new Uint8Array(await through(games.bytes.subarray(start, end), new CompressionStream('deflate')));
    const file = new Uint8Array(header + body.length);
    file.set(games.bytes.subarray(0, header));
    file.set(body, header);
    return file;
  }

  async function save(lastOnly) {
    if (!available()) return say('This browser cannot pack demos (it has no CompressionStream).');
    const file = await pack(lastOnly);
    if (!file) return say('No game has ended yet: there is nothing to save.');
    const a = document.createElement('a');
    const stamp = new Date().toISOString().replace(/[-:]/g, '').replace('T', '-').slice(0, 15);
    a.href = URL.createObjectURL(new Blob([file], { type: 'application/octet-stream' }));
    a.download = `zorva-${stamp}${lastOnly ? '-last' : ''}.zdm`;
    a.click();
    setTimeout(() => URL.revokeObjectURL(a.href), 10000);
  }

  const base64url = (bytes) => btoa(Array.from(bytes, (b) => String.fromCharCode(b)).join(''))
    .replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');

  // Copies the link that plays `file` (from the frame `at` names), or offers
  // it to be copied by hand; `tell` says so.
  async function share(file, at, what, tell) {
    const link = `${location.href.split('#')[0]}#demo=${base64url(file)}${at}`;
    demos.link = link;
    try {
      await navigator.clipboard.writeText(link);
      tell(`The link to ${what} (${file.length.toLocaleString('en')} bytes of demo) is copied.`);
    } catch (e) {
      prompt(`The link to ${what}:`, link);
    }
  }

  async function copyLink() {
    if (!available()) return say('This browser cannot pack demos (it has no CompressionStream).');
    const file = await pack(true);
    if (!file) return say('No game has ended yet: there is no link to copy.');
    if (file.length > maxLink) {
      return say(`This game's demo is ${file.length.toLocaleString('en')} bytes, more than a link carries ` +
        '(64 KB): save it and send the file instead.');
    }
    await share(file, '', 'the last game', say);
  }

  // The link to the demo playing, at the frame it stands on; the lines of
  // its games stay.
  async function copyLinkAt() {
    const demo = demos.playing, frame = demos.stood;
    if (!demo || !frame) return;
    if (!demo.bytes) {
      return line(`This demo is ${demo.packed.toLocaleString('en')} bytes, more than a link carries (64 KB): ` +
        'send the file instead.');
    }
    await share(demo.bytes, `&frame=${frame}`, `frame ${frame}`, line);
  }

  // Where the playback stands (now, or null once no demo plays back), shown
  // by the controls: the program's line (the game, the frame, the clock),
  // the speed, the slider unless a finger or the mouse holds it, and the
  // link while the playback stands on the frame it tells.
  let shown = {};
  const byId = (id) => document.getElementById(id);
  function view(now) {
    document.documentElement.classList.toggle('viewing', Boolean(now));
    if (!now) return void (shown = {});
    const standing = now.paused && now.frame === demos.stood;
    if (now.line !== shown.line) {
      // The line breaks only between its parts.
      byId('view-line').textContent = now.line.split('  ').map((part) => part.replace(/ /g, '\u00a0')).join(' ');
      byId('view-at').setAttribute('aria-valuetext', now.line.toLowerCase());
    }
    if (now.paused !== shown.paused) {
      byId('view-pause').textContent = now.paused ? '\u25b6' : '\u275a\u275a';
      byId('view-pause').setAttribute('aria-label', now.paused ? 'Resume' : 'Pause');
    }
    if (now.speed !== shown.speed) {
      byId('view-speed').textContent = now.speed;
      byId('view-speed').setAttribute('aria-label', `Speed ${now.speed}; back to 1x`);
    }
    if (!demos.sliding) byId('view-at').value = now.fraction;
    if (standing !== shown.standing) byId('view-link').hidden = !standing;
    shown = { ...now, standing };
  }

  // The records of a demo file unpacked, behind its header as it stands: the
  // file the program reads, how far it got and what stopped it.
  async function unpack(bytes) {
    const pieces = [bytes.subarray(0, header)];
    let raw = 0, fault = '';
    const reader = new Blob([bytes.subarray(header)]).stream().pipeThrough(new DecompressionStream('deflate')).getReader();
    try {
      for (;;) {
        const { done, value } = await reader.read();
        if (done) break;
        if (raw + value.length > maxRecords) {
          fault = 'the demo unpacks to more than 64 MiB, more than the page plays';
          reader.cancel().catch(() => {});
          break;
        }
        pieces.push(value);
        raw += value.length;
      }
    } catch (e) {
      const why = String(e);
      fault = /truncated/i.test(why) ? 'cut'
        : /junk/i.test(why) ? 'the file is damaged (bytes after its end)' : 'the file is damaged (bad compressed data)';
    }
    return { file: new Uint8Array(await new Blob(pieces).arrayBuffer()), raw, fault };
  }

  // Hands the demo file `bytes`, named `name`, to the program, which stops
  // what it plays and plays it: the last one opened, however long each takes
  // to unpack.
  let opened = 0;
  async function open(bytes, name, frame = 0) {
    const ticket = ++opened;
    await started;
    if (!available()) return say('This browser cannot unpack demos (it has no DecompressionStream).');
    const { file, raw, fault } = await unpack(bytes);
    if (ticket !== opened) return;
    // Into the program's memory, in a room of its own.
    const room = Module._zorva_demo_room(file.length);
    if (!room) {
      demos.waiting = null;
      return say(`ZORVA: ${name}: the page cannot hold this demo (out of memory)`);
    }
    Module.HEAPU8.set(file, room);
    // A demo small enough for a link is kept, for the link at a frame.
    demos.waiting = { name, packed: bytes.length, raw, fault, frame, bytes: bytes.length <= maxLink ? bytes : null };
  }

  // Nothing of a demo is kept once it has played, or been refused: the
  // program lets go of its room.
  function played() { demos.playing = null; }

  // A file's name as the program opens it: well formed, with no folders or
  // control characters, and at most 255 bytes long, cut between characters.
  const nameBytes = (text) => new TextEncoder().encode(text).length;
  async function openFile(file, frame = 0) {
    const chars = Array.from(file.name.replace(/[\x00-\x1f/\\]/g, '_')
      .replace(/[\ud800-\udbff](?![\udc00-\udfff])|(?<![\ud800-\udbff])[\udc00-\udfff]/g, '\ufffd')).slice(-255);
    while (nameBytes(chars.join('')) > 255) chars.shift();
    let name = chars.join('');
    if (/^\.*$/.test(name)) name = 'demo.zdm';  // no name, or a name of the folder's own
    if (file.size > maxFile) return say(`ZORVA: ${name}: the file is larger than 64 MiB, more than any demo`);
    await open(new Uint8Array(await file.arrayBuffer()), name, frame);
  }

  // A demo by its address on the page's own site, fetched (no more of it
  // than a demo can be) and opened as a file is.
  async function openUrl(address, frame) {
    let url = null;
    try {
      url = new URL(decodeURIComponent(address), location.href);
    } catch (e) {
      return say('ZORVA: link: the address of the demo is damaged');
    }
    if (url.origin !== location.origin) {
      return say(`ZORVA: link: the demo is on another site (${url.origin}); the page opens demos of its own site only`);
    }
    const pieces = [];
    try {
      const answer = await fetch(url);
      if (!answer.ok) throw new Error(`the site answers ${answer.status} ${answer.statusText}`.trim());
      const reader = answer.body.getReader();
      for (let size = 0; size <= maxFile;) {
        const { done, value } = await reader.read();
        if (done) break;
        pieces.push(value);
        size += value.length;
      }
      reader.cancel().catch(() => {});
    } catch (e) {
      return say(`ZORVA: ${url.pathname}: cannot fetch the demo: ${e.message || e}`);
    }
    await openFile(new File(pieces, url.pathname.split('/').pop()), frame);
  }

  function openLink() {
    const found = /^#demo(-url)?=(.*?)(?:&frame=([^&]*))?$/.exec(location.hash);
    if (!found) return;
    const [, byUrl, text, at] = found;
    const frame = at === undefined ? 0 : /^[1-9][0-9]{0,12}$/.test(at) && Number(at) <= 2 ** 40 ? Number(at) : -1;
    if (frame < 0) return say('ZORVA: link: the frame must be a number from 1 on');
    if (byUrl) return openUrl(text, frame);
    if (text.length > Math.ceil(maxLink * 4 / 3)) {
      return say('This link holds a demo larger than 64 KB, more than a link carries: ask for the file instead.');
    }
    let bytes;
    try {
      if (!/^[A-Za-z0-9_-]*$/.test(text)) throw new Error();
      bytes = Uint8Array.from(atob(text.replace(/-/g, '+').replace(/_/g, '/')), (c) => c.charCodeAt(0));
    } catch (e) {
      return say('ZORVA: link: not a ZORVA demo (the link is damaged)');
    }
    open(bytes, 'link', frame);
  }

  // A demo begins to play: nothing asked of the one before carries over.
  function take() {
    clear();
    Object.assign(demos, { asked: [], seekTo: -1, stood: 0 });
  }
  const gamesRecorded = () => (run ? run.ends.length : 0);
  return { waiting: null, playing: null, link: null, started, ready: () => ready(), line, say, take, played, run: runEvent,
    gamesRecorded, pack, save, copyLink, copyLinkAt, openFile, openLink, view, asked: [], seekTo: -1, stood: 0, sliding: false,
    onGame: null };
})();

// The controls: open (or drop a file on the page), save, copy the link.
for (const [id, act] of [['save', () => demos.save(false)], ['save-last', () => demos.save(true)],
  ['link', () => demos.copyLink()], ['open', () => document.getElementById('demo-file').click()],
  ['view-link', () => demos.copyLinkAt()]]) {
  document.getElementById(id).addEventListener('click', (e) => { e.currentTarget.blur(); act(); });
}
// The viewer's buttons ask what their keys ask; the slider seeks.
for (const button of document.querySelectorAll('#viewer [data-key]')) {
  button.addEventListener('click', (e) => { e.currentTarget.blur(); demos.asked.push(Number(e.currentTarget.dataset.key)); });
}
const slider = document.getElementById('view-at');
slider.addEventListener('input', () => { demos.seekTo = Number(slider.value); });
slider.addEventListener('pointerdown', () => { demos.sliding = true; });
for (const type of ['pointerup', 'pointercancel']) addEventListener(type, () => { demos.sliding = false; });
document.getElementById('demo-file').addEventListener('change', (e) => {
  if (e.target.files[0]) demos.openFile(e.target.files[0]);
  e.target.value = '';
});
document.getElementById('demo-lines').addEventListener('click', (e) => { e.currentTarget.hidden = true; });
addEventListener('dragover', (e) => e.preventDefault());
addEventListener('drop', (e) => {
  e.preventDefault();
  if (e.dataTransfer.files[0]) demos.openFile(e.dataTransfer.files[0]);
});
addEventListener('hashchange', demos.openLink);
demos.started.then(demos.openLink);
