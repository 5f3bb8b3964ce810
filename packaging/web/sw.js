// Keeps the page for use without a network: every file of this build is cached at the first
// visit, under a name of this build's own, and served from there; a new build's worker takes
// its own cache and deletes the old ones once it is in charge.
const CACHE = 'tavrick-cards-@VERSION@';
const FILES = [
@FILES@
];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(
    caches.keys()
      .then((names) => Promise.all(names.filter((n) => n.startsWith('tavrick-cards-') && n !== CACHE)
                                        .map((n) => caches.delete(n))))
      .then(() => self.clients.claim()));
});

// The cache first (the files of a build never change); the network for anything else.
self.addEventListener('fetch', (event) => {
  if (event.request.method !== 'GET') return;
  event.respondWith(
    caches.open(CACHE).then((cache) => cache.match(event.request, { ignoreSearch: true }))
      .then((hit) => hit || fetch(event.request)));
});
