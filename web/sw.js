// The service worker: keeps the page, the program, its WebAssembly and the
// sound in a cache named after the version, so that after one visit the game
// starts without a network. The server is always asked first and the cache
// (filled when the version installs) only when it cannot answer, so a page being worked on (make serve) is never
// shown stale; a new version fills its own cache, drops the old one and tells
// the page so once.
'use strict';
const version = '@PROJECT_VERSION@';
const cacheName = `zorva-${version}`;
const files = ['./', 'index.html', 'demos.js', 'zorva.js', 'zorva.wasm', '効果音.wav', 'manifest.json', 'icon-192.png', 'icon-512.png']
  .map((file) => new URL(file, self.registration.scope).href);

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(cacheName)
    .then((cache) => cache.addAll(files.map((url) => new Request(url, { cache: 'reload' }))))
    .then(() => self.skipWaiting()));
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
