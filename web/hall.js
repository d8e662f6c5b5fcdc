// The hall of fame, when the page is served by one (zorva-board serves it
// under /play/, beside its hall at /). The page asks the board for the week's
// challenge (GET /api/challenge); if it answers, the page offers Challenge, a
// new run whose every game starts from the challenge's seed, Submit to the
// hall (the games of the run so far, POST /api/games, under a name asked once
// and kept in the browser; the answer at once, or polled for until the
// verdict), and a link to the hall. Served by anything else,
// or offline, the page shows none of it and plays as always.
'use strict';
const hall = (() => {
  const byId = (id) => document.getElementById(id);
  const nameKey = 'zorva-hall-name';
  let offered = null;  // the week's challenge the board gave: { week, code, seed, ... }

  // The week's challenge, or null when no board answers.
  async function ask() {
    try {
      const answer = await fetch(new URL('/api/challenge', location.href), { cache: 'no-store' });
      const c = answer.ok ? await answer.json() : null;
      return c && /^[0-9A-Z]{3}-[0-9A-Z]{3}-[0-9A-Z]{3}$/.test(c.code) && /^\d{4}-W\d\d$/.test(c.week) ? c : null;
    } catch (e) {
      return null;
    }
  }

  // Whether a board serves the page: its controls are then shown.
  async function find() {
    offered = await ask();
    if (!offered) return false;
    for (const id of ['hall', 'challenge']) byId(id).hidden = false;
    if (demos.gamesRecorded() > 0) byId('submit').hidden = false;
    return true;
  }

  // Asks the program for a challenge run: the challenge of the week it is
  // now (a new week may have begun since the page was opened).
  async function play() {
    offered = (await ask()) || offered;
    hall.playing = offered;
    hall.asked = offered.code;
  }

  // The program begins a run: of the challenge `code`, or ('') of seeds of its own.
  function run(code) {
    const note = byId('challenge-note');
    note.textContent = '';
    note.hidden = !code;
    if (!code) return;
    const shown = document.createElement('code');  // kept on one line
    shown.textContent = code;
    note.append(`This run is the week's challenge, ${hall.playing.week}: every game starts from the seed of `, shown,
      ', the same for every player.');
  }

  // The answer's entries, each with its place and the links to watch it and to its page.
  function entry(e) {
    const p = document.createElement('div');
    const place = e.ranked ? `rank ${e.rank} of all time` : `not ranked: ${e.reason}`;
    p.append(`game ${e.game}: ${e.score} points, ${place}${e.week ? `, in the table of week ${e.week}` : ''} `);
    for (const [text, href] of [['Watch', e.watch], ['Entry', e.url]]) {
      if (!href) continue;
      const a = document.createElement('a');
      a.href = new URL(href, location.href).href;
      a.textContent = text;
      p.append(a, ' ');
    }
    return p;
  }

  const json = { Accept: 'application/json' };
  const polls = 60;  // a few seconds apart: some three minutes, more than a verification may take

  // The hall's answer to an upload: at once, or, from a hall that verifies
  // later, 202 with the address (Location) that answers 202 until the
  // verdict and then as the upload would have; that address is asked a
  // few seconds apart (Retry-After, from 1 to 10), a bounded number of times.
  async function verdict(response) {
    let address = null;
    for (let asked = 0; response.status === 202; ++asked) {
      const answer = await response.json().catch(() => ({}));
      address = response.headers.get('Location') ? new URL(response.headers.get('Location'), response.url).href : address;
      if (!address) return { status: 202, answer: { message: 'The hall took the games but says nowhere its verdict.' } };
      const later = { status: 202, answer: { message: `The hall has the games; its verdict will be at ${address}.` } };
      if (asked === polls) return later;
      demos.say(answer.message || 'The hall is verifying the games…');
      const after = Number(response.headers.get('Retry-After'));
      await new Promise((r) => setTimeout(r, 1000 * (after >= 1 && after <= 10 ? after : 3)));
      try {
        response = await fetch(address, { headers: json, cache: 'no-store' });
      } catch (e) {
        return later;
      }
    }
    return { status: response.status, answer: await response.json().catch(() => ({})) };
  }

  // Sends the games of the run so far (those of the last run, before the
  // new one has a game) and shows what the hall answers.
  async function submit() {
    let file = null;
    try {
      file = await demos.pack(false);
    } catch (e) {
      return demos.say('This browser cannot pack demos, so the games cannot be submitted.');
    }
    if (!file) return demos.say('No game has ended yet: there is nothing to submit.');
    const name = localStorage.getItem(nameKey) || (prompt('Your name in the hall of fame (1 to 24 characters):') || '').trim();
    if (!name) return;
    const form = new FormData();
    form.append('name', name);
    form.append('demo', new Blob([file], { type: 'application/octet-stream' }), 'zorva.zdm');
    let status = 0, answer = {};
    try {
      const response = await fetch(new URL('/api/games', location.href), { method: 'POST', body: form, headers: json });
      ({ status, answer } = await verdict(response));
    } catch (e) {
      return demos.say('The hall cannot be reached: the games were not submitted.');
    }
    // A name the hall took is kept; one it refused is asked again next time.
    if (status < 300) localStorage.setItem(nameKey, name);
    if (status === 202) return demos.say(answer.message);
    demos.say(answer.message || answer.error || `The hall answered ${status}: the games were not submitted.`);
    const panel = byId('demo-lines');
    for (const e of answer.entries || []) panel.appendChild(entry(e));
  }

  demos.onGame = () => { if (offered) byId('submit').hidden = false; };
  for (const [id, act] of [['challenge', play], ['submit', submit]]) {
    byId(id).addEventListener('click', (e) => { e.currentTarget.blur(); act(); });
  }
  return { asked: null, playing: null, run, found: find() };
})();
