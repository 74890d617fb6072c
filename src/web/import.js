// An image brought in for the picture on show: decoded once by the core,
// inked again on every change of the options, shown beside the picture, and
// saved as import's BMP or as patch's verified patch.
const TorvelImport = (() => {
  const $ = id => document.getElementById(id);
  // In the order of the core's enums.
  const Fits = ['contain', 'cover', 'stretch', 'none'];
  const Dithers = ['none', 'floyd-steinberg', 'atkinson', 'bayer'];

  class Importer {
    // Page: say(topic, kind, text), picture(), scale(p), rowsOf(p), dump(),
    // mapName(), hashOf(file, progress), download(name, bytes).
    constructor(page) {
      this.page = page;
      this.work = null;
      this.name = '';
      this.rows = null;
      // For measurements: how long the last redraw took, from the event.
      this.timing = {};
      const input = $('image-file');
      input.addEventListener('change', () => {
        const file = input.files[0];
        input.value = '';
        if (file)
          this.open(file);
      });
      for (const id of ['fit', 'dither', 'background', 'invert'])
        $(id).addEventListener('change', event => this.redraw(event.timeStamp));
      $('threshold').addEventListener('input', event => {
        $('threshold-value').value = $('threshold').value;
        this.redraw(event.timeStamp);
      });
      $('save-import-bmp').addEventListener('click', () => this.saveBmp());
      $('save-patch').addEventListener('click', () => this.savePatch());
    }

    async open(file) {
      const say = this.page.say;
      say('image');
      let bytes;
      try {
        bytes = new Uint8Array(await file.arrayBuffer());
      } catch (error) {
        return say('image', 'error', `Cannot read ${file.name}: ${error.message}`);
      }
      const work = new Module.ImageWork(bytes);
      const reason = work.error();
      if (reason) {
        work.delete();
        return say('image', 'error', `Cannot read image ${file.name}: ${reason}.`);
      }
      if (this.work)
        this.work.delete();
      this.work = work;
      this.name = file.name;
      $('image-status').textContent = `${file.name}: ${work.width()} x ${work.height()} pixels`;
      this.redraw();
    }

    options() {
      return {
        fit: Fits.indexOf($('fit').value), threshold: +$('threshold').value,
        dither: Dithers.indexOf($('dither').value), invert: $('invert').checked,
        black: $('background').value === 'black',
      };
    }

    // Draws the new picture for the picture on show, or hides it.
    redraw(since) {
      const p = this.page.picture();
      const figure = $('preview');
      this.rows = null;
      const empty = p && (p.width === 0 || p.height === 0);
      if (p && this.work && empty)
        this.page.say('image', 'error', `Picture ${p.index} has no pixels (${p.width} x ${p.height}): no image can fill it.`);
      if (!p || !this.work || empty) {
        figure.hidden = true;
        this.enable();
        return;
      }
      const o = this.options();
      const rows = this.work.ink(p.width, p.height, o.fit, o.threshold, o.dither, o.invert, o.black);
      if (!rows.length) {
        this.page.say('image', 'error', `Cannot fit ${this.name} to picture ${p.index}: out of memory.`);
        figure.hidden = true;
      } else {
        this.rows = rows;
        $('preview-name').textContent = this.name;
        TorvelDrawing.draw($('preview-canvas'), { ...p, inDump: true }, rows, this.page.scale(p));
        figure.hidden = false;
      }
      this.enable();
      if (since !== undefined)
        this.timing.redrawn = performance.now() - since;
    }

    enable() {
      const p = this.page.picture();
      $('save-import-bmp').disabled = !this.rows;
      $('save-patch').disabled = !this.rows || !p.mapped || !p.inDump;
      $('save-patch').title = !p || !this.rows ? 'Bring in an image first.' :
        !p.mapped ? `Picture ${p.index} is unmapped: no patch can say where it lies.` :
        !p.inDump ? `Picture ${p.index} runs past the end of the dump.` :
        `picture-${p.index}.vkp: the new picture, with the dump's bytes as old data`;
    }

    saveBmp() {
      const p = this.page.picture();
      this.page.download(`picture-${p.index}.bmp`, Module.pictureBmp(this.rows, p.width, p.height));
    }

    async savePatch() {
      const { say } = this.page;
      const p = this.page.picture(), rows = this.rows, dump = this.page.dump();
      say('image');
      try {
        const old = await this.page.rowsOf(p);
        const digest = await this.page.hashOf(dump, done =>
          $('hash-status').textContent = `SHA-256 of ${dump.name}: ${Math.floor(done * 100)} %`);
        $('hash-status').textContent = '';
        const text = Module.verifiedPatch(p.index, p.width, p.height, p.address, p.offset, old, rows,
                                          dump.name, dump.size, digest);
        if (!text.length)
          throw new Error('the picture does not fit its rows');
        this.page.download(`picture-${p.index}.vkp`, text);
      } catch (error) {
        $('hash-status').textContent = '';
        say('image', 'error', `Cannot make the patch of picture ${p.index}: ${error.message}`);
      }
    }
  }

  return { Importer };
})();
