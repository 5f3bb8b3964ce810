// The page's side of the program (linked before it): the kept files in IndexedDB, waking the
// loop on input, files dropped on the page. The loop itself sleeps between turns (main.cpp).
(function () {
  // Where SDL_GetPrefPath puts the program's own files (the field, the settings): kept in
  // IndexedDB across reloads and browser restarts. Read back before main() starts.
  const KEPT = '/libsdl';
  let syncing = false, again = false;
  function persist() {
    if (syncing) { again = true; return; }
    syncing = true;
    FS.syncfs(false, function (error) {
      syncing = false;
      if (error) console.warn('the field could not be kept in IndexedDB:', error);
      if (again) { again = false; persist(); }
    });
  }
  let pending = null;
  function persistSoon() {
    // A save is a write of a temporary file and a rename: one sync for the lot.
    if (pending) return;
    pending = setTimeout(function () { pending = null; persist(); }, 50);
  }
  Module.preRun = Module.preRun || [];
  Module.preRun.push(function () {
    FS.mkdir(KEPT);
    FS.mount(IDBFS, {}, KEPT);
    addRunDependency('kept-files');
    FS.syncfs(true, function (error) {
      if (error) console.warn('kept files could not be read from IndexedDB:', error);
      removeRunDependency('kept-files');
    });
    // Every stored file is written whole and renamed into place (store/files.h): a rename or
    // a removal there is a change to keep. (The file system's own hooks need a debug build.)
    const under = function (path) { return path && String(path).indexOf(KEPT + '/') === 0; };
    const rename = FS.rename, unlink = FS.unlink;
    FS.rename = function (from, to) {
      const result = rename.apply(FS, arguments);
      if (under(to) || under(from)) persistSoon();
      if (Module.tavrickChooser) Module.tavrickChooser.written(to);
      return result;
    };
    FS.unlink = function (path) {
      const result = unlink.apply(FS, arguments);
      if (under(path)) persistSoon();
      return result;
    };
    Module.tavrickPersistNow = persist;
  });

  // Input wakes the loop: SDL's own listeners have queued the event by the time this runs.
  function wake() { if (Module._tavrick_wake) Module._tavrick_wake(); }
  for (const type of ['mousedown', 'mouseup', 'mousemove', 'wheel', 'keydown', 'keyup', 'touchstart',
                      'touchmove', 'touchend', 'touchcancel', 'resize', 'focus', 'blur', 'visibilitychange',
                      'pointerdown', 'pointerup']) {
    window.addEventListener(type, function () { setTimeout(wake, 0); }, { passive: true, capture: false });
  }
  window.addEventListener('pagehide', function () { persist(); });

  // A .cards file dropped on the page opens as one dropped on the desktop window.
  window.addEventListener('dragover', function (e) { e.preventDefault(); });
  window.addEventListener('drop', function (e) {
    e.preventDefault();
    const file = e.dataTransfer && e.dataTransfer.files && e.dataTransfer.files[0];
    if (!file) return;
    file.arrayBuffer().then(function (bytes) {
      const dir = '/tmp/dropped';
      try { FS.mkdir(dir); } catch (error) {}
      const path = dir + '/' + file.name.replace(/[\/\0]/g, '_');
      FS.writeFile(path, new Uint8Array(bytes));
      const text = stringToNewUTF8(path);
      Module._tavrick_open_dropped(text);
      _free(text);
    });
  });
})();
