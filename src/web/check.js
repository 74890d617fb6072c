// Patches checked in the page as check checks them: the core reads them and
// says which slices of the dump it needs, the page reads just those, and the
// report is check's own text; each picture they write is drawn before and
// after.
const TorvelCheck = (() => {
  const $ = id => document.getElementById(id);
  // Pictures drawn before and after, at most.
  const MaxDrawn = 24;

  async function bytesAt(file, start, end) {
    const bytes = new Uint8Array(await file.slice(start, end).arrayBuffer());
    if (bytes.length !== end - start)
      throw new Error(`${file.name} gave ${bytes.length} of ${end - start} bytes at ${start}`);
    return bytes;
  }

  // The first of the sorted, disjoint runs (start, end, place in data) that
  // ends past Offset.
  function firstPast(segments, offset) {
    let low = 0, high = segments.length / 3;
    while (low < high) {
      const mid = (low + high) >> 1;
      if (segments[3 * mid + 1] <= offset)
        low = mid + 1;
      else
        high = mid;
    }
    return low;
  }

  // Picture's rows after the runs of written bytes; null when none meets it.
  function after(picture, before, segments, data) {
    const start = picture.offset, end = picture.offset + picture.size;
    let rows = null;
    for (let i = 3 * firstPast(segments, start); i < segments.length && segments[i] < end; i += 3) {
      rows = rows || before.slice();
      const from = Math.max(start, segments[i]), to = Math.min(end, segments[i + 1]);
      const at = segments[i + 2] + (from - segments[i]);
      rows.set(data.subarray(at, at + (to - from)), from - start);
    }
    return rows;
  }

  function touches(picture, segments) {
    const i = 3 * firstPast(segments, picture.offset);
    return i < segments.length && segments[i] < picture.offset + picture.size;
  }

  function reportLine(text) {
    const line = document.createElement('span');
    line.textContent = text + '\n';
    line.className = / problem: /.test(text) ? 'problem' : / note: /.test(text) ? 'note' :
      /^[^:]+:\d+:\d+: /.test(text) ? 'error' : 'summary';
    return line;
  }

  function figure(canvas, caption) {
    const f = document.createElement('figure');
    const c = document.createElement('figcaption');
    c.textContent = caption;
    f.append(canvas, c);
    return f;
  }

  class Checker {
    // Page: say(topic, kind, text), dump(), map(), table(), pictures(),
    // rowsOf(p), scale(p).
    constructor(page) {
      this.page = page;
      this.run = 0;
      const input = $('patch-files');
      input.addEventListener('change', () => {
        const files = [...input.files];
        input.value = '';
        if (files.length)
          this.check(files);
      });
    }

    clear() {
      $('check-report').hidden = true;
      $('check-report').replaceChildren();
      $('check-pictures').replaceChildren();
      $('patch-status').textContent = 'before you flash them: do they apply to this dump?';
    }

    async check(files) {
      const { say } = this.page;
      const dump = this.page.dump(), map = this.page.map(), table = this.page.table();
      const run = ++this.run;
      say('check');
      this.clear();
      if (!dump || !map || !table)
        return say('check', 'error', 'Open a dump and its block map first: patches are checked against them.');
      const names = files.map(f => f.name).join(', ');
      $('patch-status').textContent = `checking ${names}\u2026`;
      const checker = new Module.PatchCheck(dump.size);
      try {
        for (const file of files)
          checker.add(file.name, new Uint8Array(await file.arrayBuffer()));
        // The table to its end entry, then what the records touch.
        const first = Module.PictureTableOffset;
        checker.give(first, await bytesAt(dump, first, Math.min(dump.size, first + 8 * (table.count + 1))));
        const ranges = checker.ranges();
        for (let i = 0; i < ranges.length; i += 2)
          checker.give(ranges[i], await bytesAt(dump, ranges[i], ranges[i] + ranges[i + 1]));
        const result = checker.run(map.blocks, dump.name);
        if (run !== this.run)
          return;
        if (result.unreadable)
          throw new Error(`${dump.name} gave fewer bytes than it holds`);
        const report = $('check-report');
        report.replaceChildren(...result.report.split('\n').filter(Boolean).map(reportLine));
        report.hidden = false;
        $('patch-status').textContent = result.problems ?
          `${names}: ${result.problems} problem${result.problems === 1 ? '' : 's'}; do not flash as they are` :
          `${names}: no problem`;
        await this.draw(result, run);
      } catch (error) {
        if (run === this.run)
          say('check', 'error', `Cannot check ${names}: ${error.message}`);
      } finally {
        checker.delete();
      }
    }

    // Each picture the patches write, as the dump holds it and as apply
    // writes it (with --force where there are problems).
    async draw(result, run) {
      const shown = [];
      let more = 0;
      for (const p of this.page.pictures()) {
        if (!p.inDump || p.size === 0 || !touches(p, result.segments))
          continue;
        if (shown.length === MaxDrawn) {
          ++more;
          continue;
        }
        const before = await this.page.rowsOf(p);
        const rows = after(p, before, result.segments, result.data);
        if (!rows)
          continue;
        const scale = Math.min(this.page.scale(p), 4);
        const was = document.createElement('canvas'), becomes = document.createElement('canvas');
        TorvelDrawing.draw(was, p, before, scale);
        TorvelDrawing.draw(becomes, p, rows, scale);
        const pair = document.createElement('div');
        pair.className = 'pair';
        pair.append(figure(was, `picture ${p.index} now`), figure(becomes, `after the patches`));
        shown.push(pair);
      }
      if (run !== this.run)
        return;
      if (more) {
        const note = document.createElement('p');
        note.textContent = `and ${more} more picture${more === 1 ? '' : 's'}`;
        shown.push(note);
      }
      $('check-pictures').replaceChildren(...shown);
    }
  }

  return { Checker };
})();
