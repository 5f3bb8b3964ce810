// A stand-in for navigator.serial, put into the page by the tests only (evaluateOnNewDocument):
// the standard interface over ports the test plugs in and pulls out. What the program writes
// is recorded with the time each chunk was taken, for the board emulator to read afterwards;
// window.fakeSerial is the test's handle.
(() => {
  const ports = [];
  const listeners = { connect: [], disconnect: [] };
  const fire = (type, port) => {
    const event = new Event(type);
    Object.defineProperty(event, 'target', { value: port });
    for (const f of listeners[type]) f(event);
  };

  class FakePort {
    constructor(vid, pid) {
      this.info = vid === undefined ? {} : { usbVendorId: vid, usbProductId: pid };
      this.granted = false;
      this.present = true;
      this.isOpen = false;
      this.chunks = [];     // [ms, [bytes...]]
      this.opens = [];      // the options of each open
      this.failOpen = null; // the name of the error the next open fails with
      this.readable = null;
      this.writable = null;
      this.answer = '';     // what the board says after each chunk
    }
    getInfo() { return this.info; }
    async open(options) {
      if (this.failOpen) {
        const name = this.failOpen;
        this.failOpen = null;
        throw new DOMException('open failed', name);
      }
      if (!this.present) throw new DOMException('The device has been lost.', 'NetworkError');
      if (this.isOpen) throw new DOMException('The port is already open.', 'InvalidStateError');
      this.opens.push(options);
      this.isOpen = true;
      const port = this;
      let push = null;
      this.readable = new ReadableStream({
        start(controller) { push = controller; port.readController = controller; },
      });
      this.writable = new WritableStream({
        write(chunk) {
          if (!port.present) throw new DOMException('The device has been lost.', 'NetworkError');
          port.chunks.push([performance.now(), Array.from(chunk)]);
          if (port.answer && push) push.enqueue(new TextEncoder().encode(port.answer));
        },
      });
    }
    async close() {
      if (!this.isOpen) throw new DOMException('The port is already closed.', 'InvalidStateError');
      this.isOpen = false;
      this.readable = null;
      this.writable = null;
    }
  }

  const serial = {
    async getPorts() { return ports.filter((p) => p.granted && p.present); },
    async requestPort() {
      const offered = ports.find((p) => p.present && p.offered);
      if (!offered) throw new DOMException('No port selected by the user.', 'NotFoundError');
      offered.granted = true;
      return offered;
    },
    addEventListener(type, f) { (listeners[type] || []).push(f); },
    removeEventListener(type, f) {
      const list = listeners[type] || [];
      const i = list.indexOf(f);
      if (i >= 0) list.splice(i, 1);
    },
  };
  Object.defineProperty(Navigator.prototype, 'serial', { get: () => serial, configurable: true });

  window.fakeSerial = {
    ports,
    // A board on the cable: granted already (as on an earlier visit), or only offered in the
    // browser's chooser.
    plug(vid, pid, { granted = true, announce = true } = {}) {
      const port = new FakePort(vid, pid);
      port.granted = granted;
      port.offered = !granted;
      ports.push(port);
      if (granted && announce) fire('connect', port);
      return ports.length - 1;
    },
    // The cable pulled: a write under way fails, the reader ends in an error.
    pull(i) {
      const port = ports[i];
      port.present = false;
      if (port.readController) {
        try { port.readController.error(new DOMException('The device has been lost.', 'NetworkError')); } catch (e) {}
      }
      fire('disconnect', port);
    },
    chunks(i) { return ports[i].chunks; },
    state(i) { const p = ports[i]; return { open: p.isOpen, opens: p.opens, chunks: p.chunks.length }; },
  };
})();
