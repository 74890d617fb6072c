// Checking patches against the open dump, as check does: each patch read by
// the core, only the dump's bytes the check needs read from the disk, the
// report with problems and notes told apart, and each picture the patches
// write drawn before and after.
const TorvelCheck = (() => {
  const $ = id => document.getElementById(id);
  // Patch texts are read whole; no picture patch comes near this.
  const MaxPatchFile = 256 * 1024 * 1024;
  const PatchNames = /\.vkp$/i;
  // Findings shown in the page; the saved report holds them all.
  const MaxShownLines = 1000;
  // By the kind the core gives each line.
  const LineClass = ['unreadable', 'problem', 'note', 'applies', 'fails'];
  const ReadsAtOnce = 16;
  let hooks = null;
  let files = [];
  let runs = 0;
  let current = null;
  let report = null;

  const patches = n => `${n} ${n === 1 ? 'patch' : 'patches'}`;
  const byName = (a, b) => a.name < b.name ? -1 : a.name > b.name ? 1 : 0;

  // Checks Files (a FileList or an array) in the order of their names, as
  // a shell lists *.vkp, against the dump open now and whenever it changes.
  function open(list) {
    files = [...list].sort(byName);
    run();
  }

  function clear(status) {
    $('check-status').textContent = status;
    $('check-report').replaceChildren();
    $('check-pictures').replaceChildren();
    $('save-report').hidden = true;
    report = null;
  }

  async function readTexts(request) {
    const texts = [];
    for (const file of files) {
      if (file.size > MaxPatchFile)
        throw new Error(`${file.name} is too large for a patch: ${hooks.sizeText(file.size)}, at most ` +
                        `${hooks.sizeText(MaxPatchFile)}`);
      texts.push(new Uint8Array(await file.arrayBuffer()));
      if (request !== runs)
        return null;
    }
    return texts;
  }

  // The dump's bytes at each [offset, size], a few reads at a time.
  async function readSlices(dump, wanted, request) {
    const slices = [];
    for (let i = 0; i < wanted.length && request === runs; i += ReadsAtOnce)
      slices.push(...await Promise.all(wanted.slice(i, i + ReadsAtOnce).map(async ([offset, size]) =>
        [offset, await TorvelDump.bytesAt(dump, offset, offset + size)])));
    return slices;
  }

  async function run() {
    const request = ++runs;
    hooks.say('check');
    if (!files.length)
      return clear('no patches open');
    clear(`reading ${patches(files.length)}\u2026`);
    let texts;
    try {
      texts = await readTexts(request);
    } catch (error) {
      clear('no patches open');
      return hooks.say('check', 'error', `Cannot check the patches: ${error.message}.`);
    }
    if (!texts)
      return;
    const check = new Module.PatchCheck();
    if (current)
      current.delete();
    current = check;
    const unreadable = files.map((file, i) => check.add(file.name, texts[i])).filter(error => error);
    if (unreadable.length)
      hooks.say('check', 'error', `${unreadable.length === 1 ? 'A patch' : patches(unreadable.length)} ` +
                `cannot be read: ${unreadable.join('; ')}`);
    const context = hooks.context();
    if (!context) {
      clear(`${patches(files.length)} open: open a dump and its block map to check them against it.`);
      return;
    }
    const { dump, table, map } = context;
    if (table.capped) {
      clear('not checked');
      return hooks.say('check', 'error', `Cannot check patches against ${dump.name}: its picture table has no end ` +
                       `within its first ${table.count.toLocaleString('en')} entries, which is all the page reads; ` +
                       'torvel-pics check reads it all.');
    }
    // The table as the page holds it, then its end entry (or the dump's last
    // bytes), then what the check reads besides.
    const tableEnd = Module.PictureTableOffset + table.bytes.length;
    const wanted = [[tableEnd, Math.min(8, dump.size - tableEnd)]];
    const ranges = check.ranges(dump.size);
    for (let i = 0; i < ranges.length; i += 2)
      wanted.push([ranges[i], ranges[i + 1]]);
    $('check-status').textContent = `reading what the check needs from ${dump.name}\u2026`;
    let slices;
    try {
      slices = await readSlices(dump, wanted.filter(([, size]) => size > 0), request);
    } catch (error) {
      if (request === runs) {
        clear('not checked');
        hooks.say('check', 'error', `Cannot read ${dump.name}: ${error.message}`);
      }
      return;
    }
    if (request !== runs)
      return;
    slices.push([Module.PictureTableOffset, table.bytes]);
    const result = check.run(dump.size, dump.name, map.blocks, slices);
    if (result.error) {
      clear('not checked');
      return hooks.say('check', 'error', `Cannot check the patches against ${dump.name}: ${result.error}.`);
    }
    showReport(result, dump);
    await drawPictures(result, context, check, request);
  }

  function showReport(result, dump) {
    report = result.text;
    const lines = result.lines;
    const shown = [];
    let at = 0, hidden = 0;
    const decoder = new TextDecoder();
    for (let i = 0; i < lines.length; i += 2) {
      const kind = lines[i], length = lines[i + 1];
      if (kind >= 3 || shown.length < MaxShownLines) {
        const line = document.createElement('div');
        line.className = `line ${LineClass[kind]}`;
        line.textContent = decoder.decode(report.subarray(at, at + length - 1));
        shown.push(line);
      } else {
        ++hidden;
      }
      at += length;
    }
    if (hidden) {
      const more = document.createElement('div');
      more.className = 'line more';
      more.textContent = `\u2026 and ${hidden.toLocaleString('en')} more findings: save the report to read them all.`;
      shown.push(more);
    }
    $('check-report').replaceChildren(...shown);
    $('save-report').hidden = false;
    const problems = result.problems;
    $('check-status').textContent = `${patches(files.length)} checked against ${dump.name}: ` +
      (problems ? `${problems.toLocaleString('en')} problem${problems === 1 ? '' : 's'}` : 'no problem');
  }

  // Each picture the patches write, as the dump holds it and as apply would
  // leave it (forced records too).
  async function drawPictures(result, context, check, request) {
    const figures = [];
    for (const index of result.pictures) {
      const p = context.pictures[index];
      let before;
      try {
        before = await hooks.rowsOf(p);
      } catch (error) {
        return hooks.say('check', 'error', `Cannot read picture ${p.index} from ${context.dump.name}: ${error.message}`);
      }
      if (request !== runs)
        return;
      const after = check.after(p.offset, before);
      // Up to about 240 pixels a side.
      const scale = Math.max(1, Math.min(4, Math.floor(240 / Math.max(p.width, p.height, 1))));
      const figure = document.createElement('figure');
      figure.className = 'touched';
      figure.dataset.index = p.index;
      const caption = document.createElement('figcaption');
      caption.textContent = `Picture ${p.index}, ${p.width} x ${p.height} at ${hooks.hex8(p.offset)}: before and after`;
      const pair = document.createElement('div');
      pair.className = 'pair';
      for (const rows of [before, after]) {
        const canvas = document.createElement('canvas');
        TorvelDrawing.draw(canvas, p, rows, scale);
        pair.append(canvas);
      }
      figure.append(pair, caption);
      figures.push(figure);
    }
    if (result.morePictures) {
      const more = document.createElement('p');
      more.textContent = `The patches write more pictures; the first ${result.pictures.length} are drawn.`;
      figures.push(more);
    }
    $('check-pictures').replaceChildren(...figures);
  }

  function start(pageHooks) {
    hooks = pageHooks;
    const input = $('patch-files');
    input.addEventListener('change', () => {
      const list = [...input.files];
      input.value = '';
      if (list.length)
        open(list);
    });
    $('save-report').addEventListener('click', () => report && hooks.download('check-report.txt', report));
    input.disabled = false;
  }

  // Checks the open patches again, against the dump and map now open.
  function refresh() {
    if (files.length)
      run();
  }

  return { start, open, refresh, PatchNames };
})();
