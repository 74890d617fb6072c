// The one place that draws a picture on the page, as sheet draws its cells:
// ink black on white paper, each pixel a square of Scale canvas pixels; a
// picture the dump does not hold is an empty box of its size crossed through
// in the frame's grey (the frame itself is the canvas's border).
const TorvelDrawing = (() => {
  const FrameGrey = 160;

  function size(canvas, picture, scale) {
    canvas.width = picture.width * scale;
    canvas.height = picture.height * scale;
    return canvas.width > 0 && canvas.height > 0 ? canvas.getContext('2d') : null;
  }

  // Rows as the dump holds them: top row first, the leftmost pixel in bit 7,
  // ink a 1 bit.
  function drawRows(canvas, picture, rows, scale) {
    const context = size(canvas, picture, scale);
    if (!context)
      return;
    const image = context.createImageData(canvas.width, canvas.height);
    const data = image.data;
    const rowBytes = (picture.width + 7) >> 3;
    for (let y = 0; y < picture.height; ++y)
      for (let x = 0; x < picture.width; ++x) {
        const level = rows[y * rowBytes + (x >> 3)] & (0x80 >> (x & 7)) ? 0 : 255;
        for (let dy = 0; dy < scale; ++dy) {
          let at = ((y * scale + dy) * canvas.width + x * scale) * 4;
          for (let dx = 0; dx < scale; ++dx, at += 4) {
            data[at] = data[at + 1] = data[at + 2] = level;
            data[at + 3] = 255;
          }
        }
      }
    context.putImageData(image, 0, 0);
  }

  // Both diagonals, a pixel a step along the longer side, as on the sheet.
  function drawCrossed(canvas, picture, scale) {
    const context = size(canvas, picture, scale);
    if (!context)
      return;
    const { width: w, height: h } = canvas;
    const image = context.createImageData(w, h);
    const data = image.data;
    data.fill(255);
    const steps = Math.max(w, h);
    const put = (x, y) => {
      const at = (y * w + x) * 4;
      data[at] = data[at + 1] = data[at + 2] = FrameGrey;
    };
    for (let i = 0; i < steps; ++i) {
      const dx = steps > 1 ? Math.floor(i * (w - 1) / (steps - 1)) : 0;
      const dy = steps > 1 ? Math.floor(i * (h - 1) / (steps - 1)) : 0;
      put(dx, dy);
      put(w - 1 - dx, dy);
    }
    context.putImageData(image, 0, 0);
  }

  // White paper of the picture's size, until its rows arrive.
  function drawBlank(canvas, picture, scale) {
    size(canvas, picture, scale);
  }

  // Draws Picture with its Rows, or crossed when the dump does not hold it.
  function draw(canvas, picture, rows, scale) {
    if (!picture.inDump)
      drawCrossed(canvas, picture, scale);
    else if (rows || picture.size === 0)
      drawRows(canvas, picture, rows, scale);
    else
      drawBlank(canvas, picture, scale);
  }

  return { draw };
})();
