// Reading a dump from the user's disk in slices: the picture table, the
// rows of the pictures on show, the bytes a check needs, and, for the
// verified patch, the whole file once in order for its SHA-256; never the
// whole file at once.
const TorvelDump = (() => {
  const TableChunk = 64 * 1024;
  // No firmware holds this many pictures: a table that runs on is no dump's.
  const MaxEntries = 65536;
  // Pictures closer than this come in one slice, up to its size.
  const JoinGap = 64 * 1024;
  const MaxSlice = 1024 * 1024;
  const CacheBytes = 16 * 1024 * 1024;
  const HashSlice = 8 * 1024 * 1024;
  // The hash takes a slice in pieces this large, letting the page answer
  // between them.
  const HashPiece = 1024 * 1024;

  async function bytesAt(file, start, end) {
    const bytes = new Uint8Array(await file.slice(start, end).arrayBuffer());
    if (bytes.length !== end - start)
      throw new Error(`${file.name} gave ${bytes.length} of ${end - start} bytes at ${start}`);
    return bytes;
  }

  // The table's entries before its end, as the programs find it: up to the
  // first entry of all 00 or all FF bytes, or the last the dump holds whole.
  // Null when the dump does not hold entry 0.
  async function readTable(file) {
    const first = Module.PictureTableOffset;
    if (file.size - first < 8)
      return null;
    const parts = [];
    let count = 0, pos = first, ended = false;
    while (!ended && count < MaxEntries && file.size - pos >= 8) {
      const n = Math.min(TableChunk / 8, MaxEntries - count, Math.floor((file.size - pos) / 8));
      const bytes = await bytesAt(file, pos, pos + 8 * n);
      const end = Module.tableLength(bytes);
      ended = end >= 0;
      const kept = ended ? end : n;
      parts.push(bytes.subarray(0, 8 * kept));
      count += kept;
      pos += 8 * n;
    }
    const bytes = new Uint8Array(8 * count);
    let at = 0;
    for (const part of parts) {
      bytes.set(part, at);
      at += part.length;
    }
    const capped = !ended && count === MaxEntries && file.size - pos >= 8;
    return { bytes, count, capped };
  }

  // Pictures as plain objects, from the table's entries placed under a map.
  function placePictures(table, blocks, dumpSize) {
    const f = Module.placeEntries(table.bytes, blocks, dumpSize);
    const pictures = new Array(table.count);
    for (let i = 0, k = 0; i < table.count; ++i, k += 6)
      pictures[i] = {
        index: i, width: f[k], height: f[k + 1], address: f[k + 2], offset: f[k + 3],
        size: f[k + 4], mapped: (f[k + 5] & 1) !== 0, inDump: (f[k + 5] & 2) !== 0,
      };
    return pictures;
  }

  // Rows are kept by where they lie, which another block map changes.
  const placeOf = p => `${p.offset}+${p.size}`;

  // The rows of a dump's pictures, read on demand and kept for a while.
  class Rows {
    constructor(file) {
      this.file = file;
      this.kept = new Map();
      this.keptBytes = 0;
      // Reads under way, by place, so that a second caller waits for the first.
      this.reading = new Map();
    }

    get(picture) {
      return this.kept.get(placeOf(picture));
    }

    // Reads the rows of those Pictures that the dump holds and that are not
    // at hand; pictures that lie close together come in one slice.
    async load(pictures) {
      const waits = new Set();
      const wanted = new Map();
      for (const p of pictures) {
        const place = placeOf(p);
        if (!p.inDump || p.size === 0 || this.kept.has(place))
          continue;
        if (this.reading.has(place))
          waits.add(this.reading.get(place));
        else
          wanted.set(place, p);
      }
      const slices = [];
      for (const p of [...wanted.values()].sort((a, b) => a.offset - b.offset)) {
        const last = slices[slices.length - 1];
        const end = p.offset + p.size;
        if (last && p.offset - last.end <= JoinGap && Math.max(end, last.end) - last.start <= MaxSlice) {
          last.end = Math.max(end, last.end);
          last.pictures.push(p);
        } else {
          slices.push({ start: p.offset, end, pictures: [p] });
        }
      }
      for (const s of slices) {
        const read = bytesAt(this.file, s.start, s.end).then(bytes => {
          for (const p of s.pictures)
            this.keep(placeOf(p), bytes.slice(p.offset - s.start, p.offset - s.start + p.size));
        });
        waits.add(read);
        for (const p of s.pictures)
          this.reading.set(placeOf(p), read);
        read.finally(() => s.pictures.forEach(p => this.reading.delete(placeOf(p)))).catch(() => {});
      }
      await Promise.all(waits);
    }

    keep(place, bytes) {
      this.kept.set(place, bytes);
      this.keptBytes += bytes.length;
      // The oldest go first; those on show were read last.
      for (const [old, rows] of this.kept) {
        if (this.keptBytes <= CacheBytes)
          break;
        this.kept.delete(old);
        this.keptBytes -= rows.length;
      }
    }
  }

  // Digests by file, kept while the page is open; a file is taken to be the
  // same while its name, size and time of change are.
  const digests = new Map();
  let hashing = null;
  // A task of its own, without the delay timers have.
  const nextTask = () => new Promise(resolve => {
    const channel = new MessageChannel();
    channel.port1.onmessage = () => resolve();
    channel.port2.postMessage(null);
  });
  const fileKey = file => `${file.name}\n${file.size}\n${file.lastModified}`;

  // The SHA-256 of the whole File (32 bytes), hashed in the background a
  // slice at a time; Progress(share) hears how far it has come. Asking for
  // another file's digest stops the one under way.
  function digest(file, progress) {
    const key = fileKey(file);
    const known = digests.get(key);
    if (known) {
      if (progress && hashing && hashing.key === key)
        hashing.listeners.push(progress);
      return known;
    }
    if (hashing)
      hashing.stopped = true;
    const job = { key, stopped: false, listeners: progress ? [progress] : [] };
    hashing = job;
    const done = (async () => {
      const hash = new Module.DumpHash();
      try {
        for (let at = 0; at < file.size;) {
          const end = Math.min(file.size, at + HashSlice);
          const bytes = await bytesAt(file, at, end);
          for (let piece = 0; piece < bytes.length; piece += HashPiece) {
            if (piece > 0)
              await nextTask();
            if (job.stopped)
              throw new Error(`hashing ${file.name} was stopped`);
            hash.update(bytes.subarray(piece, piece + HashPiece));
          }
          at = end;
          job.listeners.forEach(hear => hear(at / file.size));
        }
        return hash.finish();
      } finally {
        hash.delete();
        if (hashing === job)
          hashing = null;
      }
    })();
    digests.set(key, done);
    done.catch(() => digests.delete(key));
    return done;
  }

  return { readTable, placePictures, Rows, MaxEntries, bytesAt, digest };
})();
