// The page's file chooser (services/chooser_web.cpp). Open: the browser's open picker, or a
// file input; the file is copied into the page's file system (/tmp/opened) and its path handed
// to the program. Save: the browser's save picker, where there is one; the program is handed a
// path under /tmp/saving, and the file it writes there goes to the picked file, or out as a
// download where no picker exists.
Module.tavrickChooser = (function () {
  const SAVING = '/tmp/saving/';
  const targets = new Map();  // path under SAVING -> a picked file handle, or null for a download
  const types = [{ description: 'Tavrick Cards', accept: { 'application/x-tavrick-cards': ['.cards'] } }];
  let serial = 0;

  function answer(id, path, problem) {
    const p = stringToNewUTF8(path || ''), q = stringToNewUTF8(problem || '');
    Module._tavrick_chooser_answer(id, p, q);
    _free(p);
    _free(q);
  }
  function mkdirs(path) {
    let at = '';
    for (const part of path.split('/').filter(Boolean)) {
      at += '/' + part;
      try { FS.mkdir(at); } catch (e) {}
    }
  }
  function opened(id, name, bytes) {
    const dir = '/tmp/opened/' + (++serial);
    mkdirs(dir);
    const path = dir + '/' + name.replace(/[\/\0]/g, '_');
    FS.writeFile(path, new Uint8Array(bytes));
    answer(id, path, '');
  }
  function cancelled(e) { return e && e.name === 'AbortError'; }

  function open(id) {
    if (window.showOpenFilePicker) {
      window.showOpenFilePicker({ types: types, multiple: false })
        .then(function (handles) { return handles[0].getFile(); })
        .then(function (file) { return file.arrayBuffer().then(function (b) { opened(id, file.name, b); }); })
        .catch(function (e) { answer(id, '', cancelled(e) ? '' : String(e && e.message || e)); });
      return;
    }
    const input = document.createElement('input');
    input.type = 'file';
    input.accept = '.cards';
    input.addEventListener('change', function () {
      const file = input.files && input.files[0];
      if (!file) return answer(id, '', '');
      file.arrayBuffer().then(function (b) { opened(id, file.name, b); },
                              function (e) { answer(id, '', String(e && e.message || e)); });
    });
    input.addEventListener('cancel', function () { answer(id, '', ''); });
    input.click();
  }

  function save(id, suggested) {
    const dir = SAVING + (++serial);
    mkdirs(dir);
    if (window.showSaveFilePicker) {
      window.showSaveFilePicker({ suggestedName: suggested, types: types })
        .then(function (handle) {
          const path = dir + '/' + handle.name.replace(/[\/\0]/g, '_');
          targets.set(path, handle);
          answer(id, path, '');
        })
        .catch(function (e) { answer(id, '', cancelled(e) ? '' : String(e && e.message || e)); });
      return;
    }
    const path = dir + '/' + suggested;
    targets.set(path, null);
    answer(id, path, '');
  }

  // The program has written `path` whole (a rename over it): out it goes.
  function written(path) {
    if (!targets.has(path)) return;
    let bytes;
    try { bytes = FS.readFile(path); } catch (e) { return; }
    const handle = targets.get(path);
    targets.delete(path);
    try { FS.unlink(path); } catch (e) {}
    if (handle) {
      handle.createWritable()
        .then(function (w) { return w.write(bytes).then(function () { return w.close(); }); })
        .catch(function (e) { console.error('the file could not be written:', e); });
      return;
    }
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
    link.download = path.slice(path.lastIndexOf('/') + 1);
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(function () { URL.revokeObjectURL(link.href); }, 10000);
  }

  return {
    ask: function (id, save_, suggested) { if (save_) save(id, suggested); else open(id); },
    // Called from inside the file system's rename: taken up once the program has gone on.
    written: function (path) { if (targets.has(path)) setTimeout(function () { written(path); }, 0); },
  };
})();
