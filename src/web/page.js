// The page: its inputs and messages, the table's filter and jump, the picture
// on show and the files it saves; the import and the check have files of
// their own.
const TorvelPage = (() => {
  const $ = id => document.getElementById(id);
  // Map files are shown in the box up to this size.
  const MaxShownMap = 64 * 1024;
  const state = { dump: null, table: null, map: null, rows: null, pictures: [], picture: null,
                  hashWaits: null };
  const messages = new Map();
  let dumpRequests = 0;
  let grid = null;
  // For measurements: when the last dump was opened, its table read and its
  // grid shown.
  const page = { timing: {} };

  // A failure whose message is for the user as it stands.
  class Refusal extends Error {}

  const hex8 = value => (value >>> 0).toString(16).toUpperCase().padStart(8, '0');
  const plural = (n, word) => `${n.toLocaleString('en')} ${word}${n === 1 ? '' : 's'}`;
  function sizeText(bytes) {
    if (bytes < 1024)
      return plural(bytes, 'byte');
    const [unit, size] = bytes < 1 << 20 ? ['KiB', 1 << 10] : bytes < 1 << 30 ? ['MiB', 1 << 20] : ['GiB', 1 << 30];
    return `${(bytes / size).toFixed(1)} ${unit}`;
  }

  // One message a topic (dump, map, table, jump, save, import, check, page);
  // none clears it.
  function say(topic, kind, text) {
    if (text)
      messages.set(topic, { kind, text });
    else
      messages.delete(topic);
    const box = $('messages');
    box.replaceChildren(...[...messages.values()].map(m => {
      const line = document.createElement('p');
      line.className = m.kind;
      line.textContent = m.text;
      return line;
    }));
  }

  async function openDump(file) {
    const request = ++dumpRequests;
    page.timing = { opened: performance.now() };
    Object.assign(state, { dump: null, table: null, rows: null });
    $('dump-status').textContent = `reading ${file.name}\u2026`;
    $('dump-status').title = '';
    say('dump');
    refresh();
    try {
      if (file.size === 0)
        throw new Refusal(`${file.name} is empty: a dump is the whole flash of a phone, some MiB long.`);
      const table = await TorvelDump.readTable(file);
      if (request !== dumpRequests)
        return;
      if (!table)
        throw new Refusal(`${file.name} ends before entry 0 of the picture table, at offset ` +
                          `${hex8(Module.PictureTableOffset)}: with ${sizeText(file.size)} it is ` +
                          'not a dump, or only the start of one.');
      Object.assign(state, { dump: file, table, rows: new TorvelDump.Rows(file) });
      page.timing.tableRead = performance.now();
      $('dump-status').textContent = `${file.name}: ${sizeText(file.size)}, ${plural(table.count, 'picture')}`;
      // Once the grid is shown, or soon if it is not.
      state.hashWaits = file;
      setTimeout(() => hashInBackground(file), 1000);
    } catch (error) {
      if (request !== dumpRequests)
        return;
      $('dump-status').textContent = 'no dump open';
      say('dump', 'error', error instanceof Refusal ? error.message : `Cannot read ${file.name}: ${error.message}`);
    }
    refresh();
  }

  // The verified patch names the dump's SHA-256: it is taken while the user
  // looks, and shown beside the dump's name.
  function hashInBackground(file) {
    if (state.hashWaits !== file)
      return;
    state.hashWaits = null;
    const status = $('dump-status');
    const facts = status.textContent;
    const show = (text, title) => {
      if (state.dump === file) {
        status.textContent = `${facts}; SHA-256 ${text}`;
        status.title = title || '';
      }
    };
    show('0 %');
    TorvelDump.digest(file, share => show(`${Math.floor(share * 100)} %`)).then(digest => {
      const hex = [...digest].map(b => b.toString(16).padStart(2, '0')).join('');
      if (state.dump === file)
        page.timing.hashed = performance.now();
      show(`${hex.slice(0, 16)}\u2026`, `SHA-256 of ${file.name}: ${hex}`);
    }, error => show(`not taken (${error.message})`));
  }

  async function openMapFile(file) {
    if (file.size > Module.MaxMapBytes)
      return useMap(null, file.name, file.size);
    let bytes;
    try {
      bytes = new Uint8Array(await file.arrayBuffer());
    } catch (error) {
      say('map', 'error', `Cannot read ${file.name}: ${error.message}`);
      return;
    }
    const text = $('map-text');
    text.value = bytes.length <= MaxShownMap ? new TextDecoder('windows-1252').decode(bytes) : '';
    text.placeholder = bytes.length <= MaxShownMap ? '' : `${file.name} is too long to show here.`;
    useMap(bytes, file.name, bytes.length);
  }

  function useTypedMap() {
    const text = $('map-text').value;
    // Each character takes a byte at least.
    if (text.length > Module.MaxMapBytes)
      return useMap(null, 'the typed map', text.length);
    const bytes = new TextEncoder().encode(text);
    useMap(bytes.length > Module.MaxMapBytes ? null : bytes, 'the typed map', bytes.length);
  }

  // Takes the block map in Bytes (null when there are too many of them).
  function useMap(bytes, name, size) {
    state.map = null;
    say('map');
    const limit = sizeText(Module.MaxMapBytes);
    const layout = 'A block map holds sections [Block1], [Block2], \u2026 each with Addr, FFOffset and Length, as MARLOW.INI does.';
    if (!bytes) {
      say('map', 'error', `${name} is too large for a block map: ${sizeText(size)}, at most ${limit}.`);
    } else if (!bytes.length) {
      say('map', 'error', `${name} is empty. ${layout}`);
    } else {
      const read = Module.readMap(bytes);
      if (!read.ok)
        say('map', 'error', `${name} holds more names and values than a block map may (${limit}).`);
      else if (!read.blocks.length)
        say('map', 'error', `${name} maps no address: it holds no [Block1] section with keys. ${layout}`);
      else
        state.map = { name, blocks: read.blocks };
    }
    $('map-status').textContent = state.map ? `${name}: ${plural(state.map.blocks.length / 3, 'block')}` : 'no block map';
    refresh();
  }

  // Places the table under the map and shows it, when both are at hand.
  function refresh() {
    say('table');
    say('jump');
    const { dump, table, map } = state;
    state.pictures = dump && table && map ? TorvelDump.placePictures(table, map.blocks, dump.size) : [];
    const pictures = state.pictures;
    if (table && table.capped)
      say('table', 'warning', `The picture table of ${dump.name} runs on past ${table.count.toLocaleString('en')} entries ` +
                              `without an end entry: the page shows the first ${table.count.toLocaleString('en')}. Is it a dump?`);
    else if (table && !table.count)
      say('table', 'warning', `${dump.name} holds no pictures: its picture table ends with its first entry, at offset ${hex8(Module.PictureTableOffset)}. Is it a dump?`);
    else if (pictures.length && !pictures.some(p => p.mapped))
      say('table', 'warning', `No picture of ${dump.name} lies in a block of ${map.name}: are they a dump and the block map that belongs to it?`);
    $('grid-empty').textContent = pictures.length ? '' :
      !dump ? 'Open a dump to see its pictures.' : !map ? 'Open or type a block map to see where the pictures lie.' : '';
    $('grid-empty').hidden = pictures.length > 0;
    fillSizes();
    applyFilter();
    const ready = pictures.length > 0;
    for (const id of ['size-filter', 'jump-index'])
      $(id).disabled = !ready;
    document.querySelector('#jump button').disabled = !ready;
    const picture = state.picture && pictures[state.picture.index];
    if (picture)
      select(picture, true);
    else
      showPicture(null);
    TorvelCheck.refresh();
  }

  // The sizes present, the commonest first.
  function fillSizes() {
    const filter = $('size-filter');
    const counts = new Map();
    for (const p of state.pictures) {
      const key = `${p.width} x ${p.height}`;
      counts.set(key, (counts.get(key) || 0) + 1);
    }
    const keys = [...counts.keys()].sort((a, b) => counts.get(b) - counts.get(a) || a.localeCompare(b, 'en', { numeric: true }));
    const kept = filter.value;
    const all = new Option(`all sizes (${plural(state.pictures.length, 'picture')})`, '');
    filter.replaceChildren(all, ...keys.map(key => new Option(`only ${key} (${counts.get(key)})`, key)));
    filter.value = counts.has(kept) ? kept : '';
  }

  function applyFilter() {
    const key = $('size-filter').value;
    const shown = key ? state.pictures.filter(p => `${p.width} x ${p.height}` === key) : state.pictures;
    $('table-count').textContent = !state.pictures.length ? '' : key ?
      `${shown.length} of ${plural(state.pictures.length, 'picture')}` : plural(shown.length, 'picture');
    grid.show(shown);
    if (state.picture)
      grid.select(state.picture.index, true);
  }

  function jump(text) {
    say('jump');
    const index = Module.parseNumber(text.trim());
    const count = state.pictures.length;
    if (index === null || index < 0)
      return say('jump', 'error', `'${text}' is not a picture index: give a number from 0, decimal or hexadecimal ($1F, 0x1F).`);
    if (index >= count)
      return say('jump', 'error', `Picture ${index} is past the end of the picture table, which holds ${plural(count, 'picture')}.`);
    if (grid.position(index) < 0) {
      $('size-filter').value = '';
      applyFilter();
    }
    select(state.pictures[index], true);
  }

  function select(picture, scroll) {
    state.picture = picture;
    grid.select(picture.index, scroll);
    showPicture(picture);
  }

  // The rows of Picture as the dump holds them, read when not at hand.
  async function rowsOf(picture) {
    if (picture.size === 0)
      return new Uint8Array(0);
    await state.rows.load([picture]);
    const rows = state.rows.get(picture);
    if (!rows)
      throw new Error('its rows did not arrive');
    return rows;
  }

  async function showPicture(p) {
    $('picture').hidden = !p;
    $('help').hidden = !!p;
    say('save');
    if (!p)
      return TorvelImport.show(null, 1);
    $('picture-title').textContent = `Picture ${p.index}`;
    const facts = [['Size', `${p.width} x ${p.height} pixels`], ['Address', hex8(p.address)],
                   ['Offset', p.mapped ? hex8(p.offset) : 'unmapped'], ['Bytes', `${p.size}`]];
    $('picture-facts').replaceChildren(...facts.flatMap(([name, value]) => {
      const term = document.createElement('dt');
      const detail = document.createElement('dd');
      term.textContent = name;
      detail.textContent = value;
      detail.className = name === 'Address' || name === 'Offset' ? 'hex' : '';
      return [term, detail];
    }));
    $('picture-note').textContent = !p.mapped ? `Its address ${hex8(p.address)} lies in no block of ${state.map.name}.` :
      !p.inDump ? `Its ${p.size} bytes at offset ${hex8(p.offset)} run past the end of ${state.dump.name}.` :
      p.size === 0 ? `It has no pixels (${p.width} x ${p.height}).` : '';
    const bmp = $('save-bmp'), restore = $('save-restore');
    bmp.disabled = !p.inDump || p.size === 0;
    restore.disabled = !p.inDump || p.size === 0;
    bmp.title = bmp.disabled ? $('picture-note').textContent : `picture-${p.index}.bmp: the picture as a 1-bit BMP to edit`;
    restore.title = restore.disabled ? $('picture-note').textContent : `restore-${p.index}.vkp: the patch that writes these bytes back`;
    // As large as two fit side by side (the picture and an image brought in),
    // up to 16 times and 384 pixels high.
    const room = ($('side').clientWidth - 32 - 16) / 2 - 2;
    const scale = Math.max(1, Math.min(16, Math.floor(room / Math.max(p.width, 1)),
                                       Math.floor(384 / Math.max(p.height, 1))));
    TorvelImport.show(p, scale);
    const canvas = $('picture-canvas');
    $('picture-text').textContent = '';
    if (!p.inDump)
      return TorvelDrawing.draw(canvas, p, undefined, scale);
    let rows;
    try {
      rows = await rowsOf(p);
    } catch (error) {
      say('save', 'error', `Cannot read picture ${p.index} from ${state.dump.name}: ${error.message}`);
      return;
    }
    if (state.picture !== p)
      return;
    TorvelDrawing.draw(canvas, p, rows, scale);
    const patch = Module.restorePatch(p.index, p.offset, rows, p.width, p.height);
    $('picture-text').textContent = new TextDecoder('ascii').decode(patch);
  }

  async function save(kind) {
    const p = state.picture;
    say('save');
    try {
      const rows = await rowsOf(p);
      const [name, bytes] = kind === 'bmp' ?
        [`picture-${p.index}.bmp`, Module.pictureBmp(rows, p.width, p.height)] :
        [`restore-${p.index}.vkp`, Module.restorePatch(p.index, p.offset, rows, p.width, p.height)];
      if (!bytes.length)
        throw new Error('the picture does not fit its rows');
      download(name, bytes);
    } catch (error) {
      say('save', 'error', `Cannot save picture ${p.index}: ${error.message}`);
    }
  }

  function download(name, bytes) {
    const blob = new Blob([bytes], { type: 'application/octet-stream' });
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
  }

  // What a dropped file is by its name: .ini and .txt files are block maps,
  // .vkp files patches, picture files images, anything else a dump.
  function kindOf(file) {
    return /\.(ini|txt)$/i.test(file.name) ? 'map' : TorvelCheck.PatchNames.test(file.name) ? 'check' :
      TorvelImport.ImageNames.test(file.name) ? 'image' : 'dump';
  }

  // Dropped files go to the box they land on, else by name; the patches
  // dropped together are checked together.
  function drop(event) {
    event.preventDefault();
    document.body.classList.remove('dragging');
    document.querySelectorAll('.source').forEach(box => box.classList.remove('over'));
    const files = [...event.dataTransfer.files];
    const box = event.target.closest && event.target.closest('.source');
    const boxKind = box && { 'dump-box': 'dump', 'map-box': 'map', 'image-box': 'image', 'check-box': 'check' }[box.id];
    const kinds = files.map(file => boxKind && (files.length === 1 || boxKind === 'check') ? boxKind : kindOf(file));
    const patchFiles = files.filter((file, i) => kinds[i] === 'check');
    if (patchFiles.length)
      TorvelCheck.open(patchFiles);
    files.forEach((file, i) => {
      if (kinds[i] === 'image' && !state.picture)
        say('import', 'error', `Pick a picture in the table before you bring in ${file.name}.`);
      else if (kinds[i] !== 'check')
        ({ dump: openDump, map: openMapFile, image: TorvelImport.open })[kinds[i]](file);
    });
  }

  function start() {
    grid = new TorvelGrid($('grid'), $('grid-space'), {
      rowsOf: p => state.rows && state.rows.get(p),
      needRows: pictures => {
        const rows = state.rows;
        rows.load(pictures).then(() => {
          if (rows === state.rows)
            grid.schedule();
        }, error => say('dump', 'error', `Cannot read ${rows.file.name}: ${error.message}`));
      },
      select: p => select(p, false),
      shown: () => {
        if (state.pictures.length && page.timing.tableRead && !page.timing.shown)
          page.timing.shown = performance.now();
        if (state.pictures.length)
          hashInBackground(state.dump);
      },
    });
    const take = (input, open) => input.addEventListener('change', () => {
      const file = input.files[0];
      input.value = '';
      if (file)
        open(file);
    });
    take($('dump-file'), openDump);
    take($('map-file'), openMapFile);
    $('map-apply').addEventListener('click', useTypedMap);
    $('map-text').addEventListener('keydown', event => {
      if (event.key === 'Enter' && (event.ctrlKey || event.metaKey))
        useTypedMap();
    });
    $('size-filter').addEventListener('change', applyFilter);
    $('jump').addEventListener('submit', event => {
      event.preventDefault();
      jump($('jump-index').value);
    });
    $('save-bmp').addEventListener('click', () => save('bmp'));
    $('save-restore').addEventListener('click', () => save('restore'));
    document.addEventListener('dragover', event => {
      event.preventDefault();
      document.body.classList.add('dragging');
      const box = event.target.closest && event.target.closest('.source');
      document.querySelectorAll('.source').forEach(b => b.classList.toggle('over', b === box));
    });
    document.addEventListener('dragleave', event => {
      if (!event.relatedTarget)
        document.body.classList.remove('dragging');
    });
    document.addEventListener('drop', drop);
    TorvelImport.start({
      say, sizeText, hex8, download, rowsOf,
      dump: () => state.dump,
      mapName: () => state.map.name,
    });
    TorvelCheck.start({
      say, sizeText, hex8, download, rowsOf,
      context: () => state.dump && state.table && state.map ?
        { dump: state.dump, table: state.table, map: state.map, pictures: state.pictures } : null,
    });
    for (const id of ['dump-file', 'map-file', 'map-apply'])
      $(id).disabled = false;
    refresh();
    document.body.dataset.ready = '1';
  }

  const fail = text => say('page', 'error', `${text} Reload the page to start again.`);
  window.addEventListener('error', event => fail(`Something went wrong in the page: ${event.message}.`));
  window.addEventListener('unhandledrejection', event => fail(`Something went wrong in the page: ${event.reason}.`));
  Module.onAbort = what => fail(`The page's WebAssembly stopped (${what}).`);
  Module.onRuntimeInitialized = start;
  return page;
})();
