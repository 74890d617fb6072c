#!/usr/bin/env python3
"""Turns the measurements of bench/run.sh into markdown: the table of wall
times and peak memory, the sanity checks, the target assessment and the
micro-benchmarks.

Usage: summarize.py INPUTS.TSV RESULTS_FOLDER
"""
import csv
import json
import os
import sys

SIZE_ORDER = {"1k": 0, "1m": 1, "64m": 2, "1g": 3}
TOOLS = ("torvel", "pillow", "floor")


def read_tsv(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def fmt_time(m, key="median"):
    if m is None:
        return "failed"
    t = m[key]
    text = f"{t * 1e3:.1f} ms" if t < 10 else f"{t:.1f} s"
    if m["runs"] == 1:
        text += " (1 run)"
    return text


def fmt_rss(m):
    if m is None:
        return "failed"
    kb = m["rss"]
    return f"{kb / 1024:.1f} MiB"


def fmt_bytes(n):
    for unit, size in (("GiB", 1 << 30), ("MiB", 1 << 20), ("KiB", 1 << 10)):
        if n >= size:
            return f"{n / size:.1f} {unit}"
    return f"{n} B"


def assess(rows, key, pillow_ran):
    """[(target, result)] with times taken from measurement key."""
    out = []
    by_format = {}
    for inp, name, t, p, f, _, _ in rows:
        if inp["compressed"] == "no":
            by_format.setdefault(inp["format"], []).append((SIZE_ORDER[inp["size"]], name, t))
    for fmt, items in by_format.items():
        items.sort()
        small, large = items[0], items[-1]
        target = f"{fmt}: {large[1]} over {small[1]}, time <= 1.5x, memory <= 1.2x"
        if not (small[2] and large[2]):
            out.append((target, "not measurable (a run failed)"))
            continue
        tr = large[2][key] / small[2][key]
        mr = large[2]["rss"] / small[2]["rss"]
        verdict = "met" if tr <= 1.5 and mr <= 1.2 else "**missed**"
        out.append((target, f"{tr:.2f}x, {mr:.2f}x: {verdict}"))
    target = ">= 30x faster than Pillow on every input (lowest)"
    if pillow_ran:
        known, missing = [], []
        for inp, name, t, p, f, _, _ in rows:
            if t and p:
                known.append((p[key] / t[key], name))
            else:
                missing.append(name)
        slow = [f"{n} {v:.0f}x" for v, n in known if v < 30]
        text = ""
        if known:
            worst = min(known)
            text = f"{worst[0]:.0f}x ({worst[1]}): "
        text += "met" if not slow and not missing else "**missed**"
        if slow:
            text += " on " + ", ".join(slow)
        if missing:
            text += "; Pillow failed on " + ", ".join(missing)
        out.append((target, text))
        # The floor's own lead bounds what any program can show here.
        leads = [(p[key] / f[key], name) for inp, name, t, p, f, _, _ in rows if p and f]
        if leads:
            lowest = min(leads)
            below = [f"{n} {v:.0f}x" for v, n in leads if v < 30]
            out.append(("(bound) the floor's own lead over Pillow (lowest)",
                        f"{lowest[0]:.0f}x ({lowest[1]})"
                        + ("; under 30x on " + ", ".join(below) if below else "")))
    else:
        out.append((target, "not measured (no Pillow)"))
    known = [(t[key] / f[key], name) for inp, name, t, p, f, _, _ in rows if t and f]
    over = [f"{n} {v:.2f}x" for v, n in known if v > 2]
    text = ""
    if known:
        worst = max(known)
        text = f"{worst[0]:.2f}x ({worst[1]}): "
    text += "met" if not over else "**missed** on " + ", ".join(over)
    out.append(("within 2x of the floor on every input (highest)", text))
    return out


def main():
    inputs_tsv, results = sys.argv[1:3]
    inputs = read_tsv(inputs_tsv)
    meas = {}
    for row in read_tsv(os.path.join(results, "measurements.tsv")):
        if row["status"] == "ok":
            meas[(row["name"], row["tool"])] = {
                "median": float(row["median_s"]),
                "min": float(row["min_s"]),
                "cpu": float(row["cpu_s"]),
                "runs": int(row["runs"]),
                "rss": int(row["rss_kb"]),
            }
        else:
            meas[(row["name"], row["tool"])] = None
    checks = {r["name"]: r for r in read_tsv(os.path.join(results, "checks.tsv"))}
    pillow_ran = any(k[1] == "pillow" for k in meas)

    out = []
    out.append("| BMP | format | file size | torvel time | Pillow time | floor time "
               "| torvel peak RSS | Pillow peak RSS | floor peak RSS "
               "| Pillow / torvel | torvel / floor | same patch as Pillow |")
    out.append("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|")
    rows = []
    for inp in inputs:
        name = inp["name"][:-4]
        t = meas.get((name, "torvel"))
        p = meas.get((name, "pillow")) if pillow_ran else None
        f = meas.get((name, "floor"))
        vs_pillow = (p["median"] / t["median"]) if (t and p) else None
        vs_floor = (t["median"] / f["median"]) if (t and f) else None
        rows.append((inp, name, t, p, f, vs_pillow, vs_floor))
        out.append(
            f"| {inp['name']} | {inp['format']} | {fmt_bytes(int(inp['bytes']))} "
            f"| {fmt_time(t)} | {fmt_time(p) if pillow_ran else 'not run'} | {fmt_time(f)} "
            f"| {fmt_rss(t)} | {fmt_rss(p) if pillow_ran else 'not run'} | {fmt_rss(f)} "
            f"| {f'{vs_pillow:.0f}x' if vs_pillow else '-'} "
            f"| {f'{vs_floor:.2f}x' if vs_floor else '-'} "
            f"| {checks.get(name, {}).get('pillow_output', 'n/a')} |")
    out.append("")
    out.append("Times are medians of the hyperfine runs (\"1 run\": a single run, for "
               "commands over 20 s); peak RSS is the median of three runs of "
               "`/usr/bin/time -f %M` (one run for commands over 5 s).")
    out.append("")

    problems = []
    for name, c in checks.items():
        if c["ink"] != "yes":
            problems.append(f"{name}: torvel's patch does not show both ink and paper")
        if c["floor_size"] != "same":
            problems.append(f"{name}: the floor's output size differs from torvel's")
        if c["pillow_output"] == "differs":
            problems.append(f"{name}: Pillow's patch differs from torvel's")
    out.append("Sanity checks: " + ("all passed (every patch shows ink and paper, "
               "the floor wrote as many bytes as torvel"
               + (", Pillow's patch equals torvel's" if pillow_ran else "") + ")."
               if not problems else "; ".join(problems) + "."))
    out.append("")

    # A second view for a shared machine: the fastest run and the CPU time
    # (user + system) suffer least from other processes.
    out.append("The same runs, fastest wall time and mean CPU time (user + system), "
               "which other load on the machine disturbs least:")
    out.append("")
    out.append("| BMP | torvel fastest | Pillow fastest | floor fastest "
               "| torvel CPU | Pillow CPU | floor CPU |")
    out.append("|---|---:|---:|---:|---:|---:|---:|")
    for inp, name, t, p, f, _, _ in rows:
        cells = [fmt_time(m, k) if (m or tool != "pillow" or pillow_ran) else "not run"
                 for k in ("min", "cpu") for tool, m in (("torvel", t), ("pillow", p), ("floor", f))]
        out.append(f"| {inp['name']} | " + " | ".join(cells) + " |")
    out.append("")

    out.append("### Targets")
    out.append("")
    views = [assess(rows, key, pillow_ran) for key in ("median", "min", "cpu")]
    out.append("| target | median wall time | fastest run | CPU time |")
    out.append("|---|---|---|---|")
    for i, (target, _) in enumerate(views[0]):
        out.append(f"| {target} | " + " | ".join(v[i][1] for v in views) + " |")
    out.append("")

    micro = os.path.join(results, "micro.json")
    if os.path.exists(micro):
        data = json.load(open(micro))
        out.append("### Micro-benchmarks (255 x 255 region of a 1024 x 1024 BMP)")
        out.append("")
        out.append("| benchmark | median time | pixels per second |")
        out.append("|---|---:|---:|")
        for b in data["benchmarks"]:
            if b.get("aggregate_name") != "median":
                continue
            unit = b.get("time_unit", "us")
            ips = b.get("items_per_second")
            out.append(f"| {b['run_name']} | {b['real_time']:.1f} {unit} "
                       f"| {f'{ips / 1e6:.0f} M' if ips else '-'} |")
        out.append("")
    print("\n".join(out))


if __name__ == "__main__":
    main()
