// The table as a grid of cells laid out in rows, as on a sheet: each picture
// at twice its size in a thin frame, its index, size and offset under it.
// Only the cells in view exist, so thousands of pictures cost a screenful.
class TorvelGrid {
  // Hooks: rowsOf(picture) gives the rows at hand or nothing, needRows(list)
  // asks for the rows of pictures on show, select(picture) picks one, and
  // shown() tells that every cell in view is drawn.
  constructor(scroller, space, hooks) {
    this.scroller = scroller;
    this.space = space;
    this.hooks = hooks;
    this.pictures = [];
    this.cells = new Map();
    this.selected = -1;
    this.width = -1;
    this.pending = false;
    scroller.addEventListener('scroll', () => this.schedule());
    new ResizeObserver(() => {
      if (this.scroller.clientWidth !== this.width)
        this.layout();
      this.schedule();
    }).observe(scroller);
    space.addEventListener('click', event => {
      const cell = event.target.closest('.cell');
      if (cell)
        this.hooks.select(this.pictures[this.position(+cell.dataset.index)]);
    });
    scroller.addEventListener('keydown', event => this.step(event));
  }

  // Shows Pictures (in index order) from the top.
  show(pictures) {
    this.pictures = pictures;
    this.layout();
    this.scroller.scrollTop = 0;
    this.render();
  }

  // Where the picture of Index lies in the list; -1 when it is not shown.
  position(index) {
    let low = 0, high = this.pictures.length - 1;
    while (low <= high) {
      const middle = (low + high) >> 1;
      const at = this.pictures[middle].index;
      if (at === index)
        return middle;
      if (at < index)
        low = middle + 1;
      else
        high = middle - 1;
    }
    return -1;
  }

  // Marks the picture of Index; scrolls it into view when asked.
  select(index, scroll) {
    this.selected = index;
    for (const [at, cell] of this.cells)
      cell.classList.toggle('selected', this.pictures[at].index === index);
    const at = this.position(index);
    if (scroll && at >= 0) {
      const top = this.top[at] + TorvelGrid.Margin;
      const bottom = top + this.height[at];
      const view = this.scroller;
      if (top < view.scrollTop || bottom > view.scrollTop + view.clientHeight)
        view.scrollTop = Math.max(0, top - TorvelGrid.Gap * 2);
      this.render();
    }
  }

  // Draws again the cells whose rows have arrived.
  schedule() {
    if (this.pending)
      return;
    this.pending = true;
    requestAnimationFrame(() => this.render());
  }

  static cellWidth(p) {
    return Math.max(p.width * TorvelGrid.Scale + 2, TorvelGrid.LabelWidth) + 4;
  }

  static labelLines(p) {
    return p.mapped && !p.inDump ? 3 : 2;
  }

  layout() {
    this.width = this.scroller.clientWidth;
    const room = Math.max(this.width - 2 * TorvelGrid.Margin, 1);
    const n = this.pictures.length;
    this.left = new Float64Array(n);
    this.top = new Float64Array(n);
    this.height = new Float64Array(n);
    this.rowFirst = [];
    this.rowBottom = [];
    let x = 0, y = 0, rowHeight = 0;
    for (let i = 0; i < n; ++i) {
      const p = this.pictures[i];
      const width = TorvelGrid.cellWidth(p);
      if (x > 0 && x + width > room) {
        y += rowHeight + TorvelGrid.Gap;
        x = rowHeight = 0;
      }
      if (x === 0)
        this.rowFirst.push(i);
      this.left[i] = x;
      this.top[i] = y;
      this.height[i] = p.height * TorvelGrid.Scale + 2 + 2 + TorvelGrid.labelLines(p) * 14 + 4;
      rowHeight = Math.max(rowHeight, this.height[i]);
      this.rowBottom[this.rowFirst.length - 1] = y + rowHeight;
      x += width + TorvelGrid.Gap;
    }
    this.space.style.height = `${n ? y + rowHeight : 0}px`;
    for (const cell of this.cells.values())
      cell.remove();
    this.cells.clear();
  }

  render() {
    this.pending = false;
    // The view in the cells' own coordinates, with some to spare.
    const view = this.scroller;
    const top = view.scrollTop - TorvelGrid.Margin - TorvelGrid.Overscan;
    const bottom = top + view.clientHeight + 2 * TorvelGrid.Overscan;
    // The first row that reaches into view.
    let low = 0, high = this.rowFirst.length;
    while (low < high) {
      const middle = (low + high) >> 1;
      if (this.rowBottom[middle] < top)
        low = middle + 1;
      else
        high = middle;
    }
    const inView = new Set();
    const waiting = [];
    for (let row = low; row < this.rowFirst.length; ++row) {
      const first = this.rowFirst[row];
      if (this.top[first] > bottom)
        break;
      const end = row + 1 < this.rowFirst.length ? this.rowFirst[row + 1] : this.pictures.length;
      for (let at = first; at < end; ++at) {
        inView.add(at);
        if (!this.drawCell(at))
          waiting.push(this.pictures[at]);
      }
    }
    for (const [at, cell] of this.cells)
      if (!inView.has(at)) {
        cell.remove();
        this.cells.delete(at);
      }
    if (waiting.length)
      this.hooks.needRows(waiting);
    else
      this.hooks.shown();
  }

  // Makes the cell at At, or draws it again when its rows have arrived; false
  // while they are still to come.
  drawCell(at) {
    const p = this.pictures[at];
    let cell = this.cells.get(at);
    if (!cell) {
      cell = document.createElement('div');
      cell.className = 'cell';
      cell.dataset.index = p.index;
      cell.style.left = `${this.left[at]}px`;
      cell.style.top = `${this.top[at]}px`;
      cell.style.width = `${TorvelGrid.cellWidth(p)}px`;
      cell.classList.toggle('selected', p.index === this.selected);
      cell.append(document.createElement('canvas'), TorvelGrid.label(p));
      this.space.append(cell);
      this.cells.set(at, cell);
    } else if (cell.dataset.drawn) {
      return true;
    }
    const rows = this.hooks.rowsOf(p);
    const ready = !p.inDump || p.size === 0 || rows !== undefined;
    TorvelDrawing.draw(cell.firstChild, p, rows, TorvelGrid.Scale);
    if (ready)
      cell.dataset.drawn = '1';
    return ready;
  }

  static label(p) {
    const label = document.createElement('div');
    label.className = 'label';
    const index = document.createElement('b');
    index.textContent = p.index;
    label.append(index, ` ${p.width} x ${p.height}`, document.createElement('br'));
    const offset = document.createElement('span');
    offset.className = p.mapped ? 'hex' : 'mark';
    offset.textContent = p.mapped ? TorvelGrid.hex8(p.offset) : 'unmapped';
    label.append(offset);
    if (p.mapped && !p.inDump) {
      const mark = document.createElement('span');
      mark.className = 'mark';
      mark.textContent = 'past end of dump';
      label.append(document.createElement('br'), mark);
    }
    return label;
  }

  static hex8(value) {
    return (value >>> 0).toString(16).toUpperCase().padStart(8, '0');
  }

  // The arrow keys move to the picture before or after.
  step(event) {
    const moves = { ArrowLeft: -1, ArrowRight: 1, Home: -Infinity, End: Infinity };
    if (!(event.key in moves) || !this.pictures.length)
      return;
    event.preventDefault();
    const at = Math.min(Math.max(this.position(this.selected) + moves[event.key], 0),
                        this.pictures.length - 1);
    this.hooks.select(this.pictures[at]);
  }
}
TorvelGrid.Scale = 2;
TorvelGrid.LabelWidth = 96;
TorvelGrid.Gap = 8;
TorvelGrid.Margin = 10;
// Cells built beyond the view, so that scrolling shows no gaps.
TorvelGrid.Overscan = 300;
