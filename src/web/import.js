// Bringing an image into the selected picture, as import does: the image
// decoded once and kept in the core's stages, a live preview at the
// picture's size and enlarged beside it, its 1-bit BMP, and the verified
// patch that writes it over the dump's bytes.
const TorvelImport = (() => {
  const $ = id => document.getElementById(id);
  // No picture the decoder takes comes in a larger file.
  const MaxImageFile = 256 * 1024 * 1024;
  const ImageNames = /\.(png|jpe?g|jfif|gif|bmp|dib|pnm|ppm|pgm)$/i;
  const state = { session: null, name: '', picture: null, scale: 1, rows: null };
  let hooks = null;
  let opening = 0;
  // For measurements: when the last option changed and its preview was drawn.
  const timing = {};

  const hasPixels = p => p.width > 0 && p.height > 0;
  const noPixels = p => `Picture ${p.index} has no pixels (${p.width} x ${p.height}): there is nothing to bring an image into.`;

  function options() {
    return {
      fit: $('import-fit').value, background: $('import-background').value,
      threshold: +$('import-threshold').value, dither: $('import-dither').value,
      invert: $('import-invert').checked,
    };
  }

  async function open(file) {
    const request = ++opening;
    hooks.say('import');
    const p = state.picture;
    if (p && !hasPixels(p))
      return hooks.say('import', 'error', noPixels(p));
    if (file.size > MaxImageFile)
      return hooks.say('import', 'error', `Cannot read image ${file.name}: ${hooks.sizeText(file.size)} is more than ` +
                       `any picture the page reads takes (at most ${hooks.sizeText(MaxImageFile)}).`);
    $('image-status').textContent = `reading ${file.name}\u2026`;
    let bytes;
    try {
      bytes = new Uint8Array(await file.arrayBuffer());
      // Let the message show before the decoder holds the page.
      await new Promise(resolve => requestAnimationFrame(() => setTimeout(resolve)));
    } catch (error) {
      bytes = null;
      hooks.say('import', 'error', `Cannot read image ${file.name}: ${error.message}`);
    }
    if (request !== opening)
      return;
    const session = bytes && new Module.ImageSession(bytes);
    const reason = session ? session.reason() : 'it could not be read';
    if (reason) {
      if (session)
        session.delete();
      if (bytes)
        hooks.say('import', 'error', `Cannot read image ${file.name}: ${reason}.`);
      $('image-status').textContent = state.session ?
        `${state.name} (${state.session.width()} x ${state.session.height()})` : 'no image';
      return;
    }
    forget();
    Object.assign(state, { session, name: file.name });
    $('image-status').textContent = `${file.name} (${session.width()} x ${session.height()})`;
    render();
  }

  // Frees the image's stages in the core.
  function forget() {
    if (state.session)
      state.session.delete();
    Object.assign(state, { session: null, name: '', rows: null });
  }

  // Shows the import for Picture, its preview at Scale times its size.
  function show(picture, scale) {
    Object.assign(state, { picture, scale });
    hooks.say('import');
    render();
  }

  // Inks the image for the picture with the options set, and draws it.
  function render(changed) {
    const p = state.picture;
    const ready = !!(p && state.session && hasPixels(p));
    state.rows = null;
    if (ready) {
      const o = options();
      state.rows = state.session.rows(p.width, p.height, Module.Fit[o.fit], o.background === 'black',
                                      o.threshold, Module.Dither[o.dither],
                                      o.invert);
      if (!state.rows)
        hooks.say('import', 'error', `Cannot scale image ${state.name}: out of memory.`);
    }
    const shown = !!state.rows;
    $('preview').hidden = !shown;
    for (const id of ['save-import-bmp', 'save-patch'])
      $(id).disabled = !shown;
    $('import-note').textContent = p && state.session && !hasPixels(p) ? noPixels(p) : '';
    if (shown) {
      const picture = { width: p.width, height: p.height, inDump: true, size: state.rows.length };
      TorvelDrawing.draw($('preview-canvas'), picture, state.rows, state.scale);
      TorvelDrawing.draw($('preview-actual'), picture, state.rows, 1);
      $('preview-caption').textContent = `${state.name} as picture ${p.index}`;
    }
    $('import-threshold-value').textContent = $('import-threshold').value;
    if (changed) {
      const at = timing.changed = changed.timeStamp;
      timing.drawn = performance.now();
      requestAnimationFrame(() => {
        if (timing.changed === at)
          timing.painted = performance.now();
      });
    }
  }

  function saveBmp() {
    const p = state.picture;
    hooks.say('import');
    hooks.download(`picture-${p.index}.bmp`, Module.pictureBmp(state.rows, p.width, p.height));
  }

  // The verified patch of what the preview shows, once the dump's SHA-256
  // is at hand.
  async function savePatch() {
    const p = state.picture;
    const rows = state.rows;
    const dump = hooks.dump();
    const refuse = why => hooks.say('import', 'error', `Cannot make the patch of picture ${p.index}: ${why}.`);
    hooks.say('import');
    if (!p.mapped)
      return refuse(`its address ${hooks.hex8(p.address)} lies in no block of ${hooks.mapName()}`);
    if (!p.inDump)
      return refuse(`its ${p.size} bytes at offset ${hooks.hex8(p.offset)} run past the end of ${dump.name}`);
    const status = $('hash-status');
    try {
      const old = await hooks.rowsOf(p);
      const digest = await TorvelDump.digest(dump, share => {
        status.textContent = `taking the SHA-256 of ${dump.name}: ${Math.floor(share * 100)} %`;
      });
      status.textContent = '';
      const bmp = Module.pictureBmp(rows, p.width, p.height);
      const patch = Module.verifiedPatch(p.index, p.width, p.height, p.address, p.offset, old, bmp,
                                         dump.name, dump.size, digest);
      if (!patch.length)
        throw new Error('the picture does not fit its rows');
      hooks.download(`picture-${p.index}.vkp`, patch);
    } catch (error) {
      status.textContent = '';
      refuse(`cannot read ${dump.name} (${error.message})`);
    }
  }

  function start(pageHooks) {
    hooks = pageHooks;
    const input = $('image-file');
    input.addEventListener('change', () => {
      const file = input.files[0];
      input.value = '';
      if (file)
        open(file);
    });
    for (const id of ['import-fit', 'import-background', 'import-dither', 'import-invert'])
      $(id).addEventListener('change', event => render(event));
    $('import-threshold').addEventListener('input', event => render(event));
    $('save-import-bmp').addEventListener('click', saveBmp);
    $('save-patch').addEventListener('click', savePatch);
    input.disabled = false;
  }

  return { start, show, open, ImageNames, timing };
})();
