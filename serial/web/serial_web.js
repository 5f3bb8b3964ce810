// Web Serial for the page's serial backend (serial/web/*.cpp). The ports this page may use are
// kept here with the names the program knows them by; a send runs as promises and tells the
// C++ side each line written, each byte heard and how it ended. Nothing here waits on the
// main loop, and the main loop never waits on this.
Module.tavrickSerial = (function () {
  const api = typeof navigator !== 'undefined' ? navigator.serial : undefined;
  // Errors as SerialError numbers (serial/SerialLink.h).
  const E = { none: 0, notConnected: 3, inUse: 5, stoppedAnswering: 8, accessRefused: 9, writeFailed: 10, stopped: 12 };
  const names = new Map();  // SerialPort -> the name the program knows it by
  let ports = [];           // granted and present, in the order the browser gave them
  let closing = Promise.resolve();  // the last send's port, let go
  let current = null;       // the send under way: {id, detached}

  function hex4(n) { return ('0000' + n.toString(16)).slice(-4); }
  function nameOf(port) {
    if (names.has(port)) return names.get(port);
    const info = port.getInfo ? port.getInfo() : {};
    const base = info.usbVendorId !== undefined
      ? 'usb-' + hex4(info.usbVendorId) + ':' + hex4(info.usbProductId || 0) : 'serial';
    const taken = new Set(names.values());
    let name = base;
    for (let k = 2; taken.has(name); ++k) name = base + '-' + k;
    names.set(port, name);
    return name;
  }
  let watching = false;  // the program listens (PortWatch.cpp); before that, its scan reads `ports`
  function changed() {
    if (watching) Module._tavrick_serial_devices_changed();
  }
  function refresh() {
    return api.getPorts().then(function (granted) { ports = granted; changed(); },
                               function (e) { console.warn('serial ports:', e); });
  }
  if (api) {
    // The ports granted on an earlier visit are the first scan's result; plugging in and out
    // comes as events.
    api.addEventListener('connect', refresh);
    api.addEventListener('disconnect', refresh);
    refresh();
  }

  function failure(e) {
    const name = e && e.name;
    if (name === 'SecurityError') return E.accessRefused;
    if (name === 'InvalidStateError') return E.inUse;      // open already (this page)
    if (name === 'NotFoundError') return E.notConnected;
    return E.writeFailed;
  }
  function sleep(ms) { return new Promise(function (r) { setTimeout(r, ms); }); }
  // Waits `ms`, looking at a stop every 20 ms; true if a stop came.
  async function pause(job, ms) {
    const until = performance.now() + ms;
    for (;;) {
      if (stopped(job)) return true;
      const left = until - performance.now();
      if (left <= 0) return false;
      await sleep(Math.min(20, left));
    }
  }
  function stopped(job) { return job.detached || Module._tavrick_serial_stopped(job.id) !== 0; }
  function ended(job, error, detail) {
    if (job.detached) return;
    job.detached = true;
    if (current === job) current = null;
    const text = stringToNewUTF8(detail || '');
    Module._tavrick_serial_ended(job.id, error, text);
    _free(text);
  }
  function withDeadline(promise, ms) {
    let timer;
    const late = new Promise(function (_, reject) {
      timer = setTimeout(function () { reject({ name: 'Timeout' }); }, ms);
    });
    return Promise.race([promise, late]).finally(function () { clearTimeout(timer); });
  }

  async function run(job, port, lines, margin, listenAfter) {
    await closing.catch(function () {});
    if (!port || ports.indexOf(port) < 0)
      return ended(job, E.notConnected, job.name + ': the board is not connected');
    try {
      await port.open({ baudRate: 115200, dataBits: 8, parity: 'none', stopBits: 1, flowControl: 'none' });
    } catch (e) {
      // Chrome says NetworkError when another tab or program holds the port.
      const error = e && e.name === 'NetworkError' ? E.inUse : failure(e);
      return ended(job, error, 'open ' + job.name + ': ' + (e && e.message || e));
    }
    let writer = null, reader = null, lost = null;
    const letGo = async function () {
      try { if (reader) { await reader.cancel(); reader.releaseLock(); } } catch (e) {}
      try { if (writer) writer.releaseLock(); } catch (e) {}
      try { await port.close(); } catch (e) {}
    };
    let outcome = [E.none, ''];
    try {
      writer = port.writable.getWriter();
      if (port.readable) {
        reader = port.readable.getReader();
        (async function () {
          for (;;) {
            const got = await reader.read();
            if (got.done) return;
            if (!job.detached && got.value && got.value.length) {
              const p = _malloc(got.value.length);
              HEAPU8.set(got.value, p);
              Module._tavrick_serial_heard(job.id, p, got.value.length);
              _free(p);
            }
          }
        })().catch(function (e) { lost = e; });
      }
      let stop = false, written = 0;
      for (const line of lines) {
        stop = stop || stopped(job);
        if (stop && !(line.closing && written > 0)) continue;
        // 115200 baud, ten bits a byte, and the margin beyond.
        const due = Math.ceil(line.bytes.length * 10000 / 115200) + margin;
        try {
          await withDeadline(writer.write(line.bytes), due);
        } catch (e) {
          if (e && e.name === 'Timeout') throw { error: E.stoppedAnswering, text: 'write ' + job.name + ': the board takes no bytes' };
          throw { error: lost || (e && e.name === 'NetworkError') ? E.notConnected : failure(e),
                  text: 'write ' + job.name + ': ' + (e && e.message || e) };
        }
        ++written;
        Module._tavrick_serial_wrote(job.id);
        if (!stop && line.delayMs > 0) stop = await pause(job, line.delayMs);
      }
      if (!stop) {
        Module._tavrick_serial_sent(job.id);
        await pause(job, listenAfter);
      }
      if (stop && written < lines.length) outcome = [E.stopped, 'sending stopped'];
    } catch (e) {
      outcome = e && e.error !== undefined ? [e.error, e.text] : [E.writeFailed, String(e && e.message || e)];
    }
    closing = letGo();
    await closing;
    ended(job, outcome[0], outcome[1]);
  }

  return {
    available: function () { return !!api; },
    watch: function (on) { watching = on; },
    count: function () { return ports.length; },
    name: function (i) { return nameOf(ports[i]); },
    info: function (i) { return ports[i].getInfo ? ports[i].getInfo() : {}; },
    // From a tap: the browser's chooser; a port granted there becomes the choice.
    ask: function () {
      if (!api) return;
      api.requestPort({}).then(function (port) {
        if (ports.indexOf(port) < 0) ports.push(port);
        const text = stringToNewUTF8(nameOf(port));
        Module._tavrick_serial_granted(text);
        _free(text);
      }, function (e) { if (!e || e.name !== 'NotFoundError') console.warn('serial port request:', e); });
    },
    send: function (id, name, lines, margin, listenAfter) {
      const job = { id: id, name: name, detached: false };
      current = job;
      const port = ports.find(function (p) { return nameOf(p) === name; });
      run(job, port, lines, margin, listenAfter).catch(function (e) {
        ended(job, E.writeFailed, String(e && e.message || e));
      });
    },
    // The program no longer waits for the send: it lets the port go on its own.
    detach: function () { if (current) { current.detached = true; current = null; } },
  };
})();
