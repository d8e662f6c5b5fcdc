// The service worker: keeps the page, the program, its WebAssembly and the
// sound in a cache named after the version, so that after one visit the game
// starts without a network (and without the sound, where the host has none).
// The server is always asked first and the cache (filled when the version
// installs) only when it cannot answer, so a page being worked on (make serve)
// is never shown stale; a new version fills its own cache, drops the old one
// and tells the page so once. A version that cannot fetch what the page needs
// does not install, and leaves the one before as it was.
'use strict';
const version = '@PROJECT_VERSION@';
const cacheName = `zorva-${version}`;
const files = ['./', 'index.html', 'demos.js', 'hall.js', 'zorva.js', 'zorva.wasm', '効果音.wav', 'manifest.json', 'icon-192.png', 'icon-512.png']
  .map((file) => new URL(file, self.registration.scope).href);
// A host may leave the sound out (the game is then silent): the page installs without it.
const sound = new URL('効果音.wav', self.registration.scope).href;

// Every file is fetched before the cache is made, so that a file missing (or
// a network gone) leaves no cache at all, and one that fails to fill is
// dropped again: a cache of the version is always whole.
self.addEventListener('install', (event) => {
  event.waitUntil((async () => {
    const answers = await Promise.all(files.map((url) => fetch(new Request(url, { cache: 'reload' }))
      .then((answer) => answer, () => Response.error())));
    answers.forEach((answer, i) => {
      if (!answer.ok && files[i] !== sound) throw new Error(`${files[i]}: ${answer.status}`);
    });
    const made = !(await caches.has(cacheName));
    try {
      const cache = await caches.open(cacheName);
      await Promise.all(answers.map((answer, i) => (answer.ok ? cache.put(files[i], answer) : cache.delete(files[i]))));
    } catch (e) {
      if (made) await caches.delete(cacheName);
      throw e;
    }
    await self.skipWaiting();
  })());
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    const old = (await caches.keys()).filter((name) => name.startsWith('zorva-') && name !== cacheName);
    await Promise.all(old.map((name) => caches.delete(name)));
    await self.clients.claim();
    if (old.length === 0) return;
    for (const client of await self.clients.matchAll({ type: 'window' })) client.postMessage({ updated: version });
  })());
});

self.addEventListener('fetch', (event) => {
  const url = new URL(event.request.url);
  url.search = '';
  const kept = files.includes(url.href);
  if (event.request.method !== 'GET' || !kept) return;
  // The cache is filled once, by the install: a worker that wrote into it
  // here could make an old version's cache again while a new version drops it.
  event.respondWith(fetch(event.request.url, { cache: 'no-cache' })
    .catch(() => caches.match(url.href, { cacheName }).then((hit) => hit || Response.error())));
});
