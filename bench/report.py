#!/usr/bin/env python3
"""Gathers the runs of bench/run.sh into a table and docs/BENCHMARKS.md.

    report.py --work build/bench-work --sites "s1k s10k pgdoc" --polite-sites "s1k pgdoc" \
              --runs 3 --sitegleaner PATH --elapsed SECONDS --out docs/BENCHMARKS.md
"""

import argparse
import collections
import datetime
import glob
import json
import os
import platform
import re
import statistics
import subprocess

SITE_NAMES = {
    "s1k": "synthetic, 1,000 pages",
    "s10k": "synthetic, 10,000 pages",
    "s100k": "synthetic, 100,000 pages",
    "pgdoc": "PostgreSQL 15 manual (postgresql-doc-15)",
    "modern": "synthetic, modern page features",
}
GENERATED = ("s1k", "s10k", "s100k", "modern")
BROWSER_TOOLS = ["sitegleaner", "wget", "httrack"]
TOOLS = ["sitegleaner", "wget", "httrack", "sitegleaner-polite"]
TOOL_NAMES = {
    "sitegleaner": "Sitegleaner, Link Pause 0",
    "sitegleaner-polite": "Sitegleaner, Link Pause 500 ms",
    "wget": "wget --mirror",
    "httrack": "HTTrack",
}
THREADS = 8
PAUSE_S = 0.5


def sh(cmd):
    try:
        return subprocess.run(cmd, shell=True, capture_output=True, text=True, timeout=30).stdout.strip() or \
            subprocess.run(cmd, shell=True, capture_output=True, text=True, timeout=30).stderr.strip()
    except Exception:
        return ""


def parse_time(path):
    text = open(path).read()

    def field(name):
        m = re.search(re.escape(name) + r": (.*)", text)
        return m.group(1).strip() if m else None

    wall = field("Elapsed (wall clock) time (h:mm:ss or m:ss)")
    parts = [float(x) for x in wall.split(":")]
    seconds = 0.0
    for p in parts:
        seconds = seconds * 60 + p
    return {
        "wall": seconds,
        "user": float(field("User time (seconds)")),
        "sys": float(field("System time (seconds)")),
        "rss_kb": int(field("Maximum resident set size (kbytes)")),
    }


def load_runs(work, sites):
    runs = {}
    for site in sites:
        for tool in TOOLS:
            for d in sorted(glob.glob(os.path.join(work, "runs", site, tool, "*"))):
                if not os.path.exists(os.path.join(d, "time.txt")):
                    continue
                r = parse_time(os.path.join(d, "time.txt"))
                r["exit"] = int(open(os.path.join(d, "exit.txt")).read().strip() or 0)
                r["requests"] = int(open(os.path.join(d, "requests.txt")).read().strip() or 0)
                r["command"] = open(os.path.join(d, "command.txt")).read().strip()
                r["check"] = json.load(open(os.path.join(d, "check.json")))
                r["dir"] = d
                out = open(os.path.join(d, "stdout.txt"), errors="replace").read()
                m = re.search(r"(\d+) links complete, (\d+) failed, (\d+) skipped, (\d+) not fetched", out)
                if m:
                    r["sg_links"] = [int(x) for x in m.groups()]
                r["cpu"] = r["user"] + r["sys"]
                pages = r["check"]["covered"]
                r["pages"] = pages
                r["pages_per_s"] = pages / r["wall"] if r["wall"] > 0 else 0
                r["cpu_ms_per_page"] = 1000 * r["cpu"] / pages if pages else float("inf")
                runs.setdefault((site, tool), []).append(r)
    return runs


def med(values):
    return statistics.median(values) if values else float("nan")


def summarise(rs):
    s = {k: med([r[k] for r in rs]) for k in ("wall", "cpu", "user", "sys", "rss_kb", "requests", "pages",
                                               "pages_per_s", "cpu_ms_per_page")}
    s["runs"] = len(rs)
    s["files"] = med([r["check"]["files"] for r in rs])
    s["bytes"] = med([r["check"]["bytes"] for r in rs])
    s["coverage_min"] = min(r["check"]["coverage"] for r in rs)
    s["covered_min"] = min(r["check"]["covered"] for r in rs)
    s["reachable"] = rs[0]["check"]["reachable"]
    s["intact_min"] = min(r["check"]["intact_share"] for r in rs)
    s["intact_existing_min"] = min(r["check"]["intact_share_to_existing"] for r in rs)
    s["local_links"] = med([r["check"]["local_links"] for r in rs])
    s["server_links_max"] = max(r["check"]["server_links"] for r in rs)
    s["placeholders"] = med([r["check"]["placeholders"] for r in rs])
    s["exits"] = sorted({r["exit"] for r in rs})
    s["walls"] = [r["wall"] for r in rs]
    if "sg_links" in rs[0]:
        s["sg_links"] = [med([r["sg_links"][i] for r in rs]) for i in range(4)]
    return s


def fmt(x, digits=2):
    if x != x:  # nan
        return "-"
    return f"{x:,.{digits}f}"


def micro_figures(work):
    """Key figures of the Google Benchmark runs: the medians of 3 repetitions."""
    rows = []
    for name in ("scanner_bench", "link_tree_bench", "url_ops_bench", "local_naming_bench"):
        path = os.path.join(work, "micro", name + ".json")
        if not os.path.exists(path):
            continue
        data = json.load(open(path))
        benchmarks = data.get("benchmarks", [])
        if any(b.get("run_type") == "aggregate" for b in benchmarks):
            benchmarks = [b for b in benchmarks if b.get("aggregate_name") == "median"]
        for b in benchmarks:
            counters = []
            for key in ("calls_per_second", "adds_per_second", "bytes_per_second", "bytes_per_record", "children"):
                if key in b:
                    v = b[key]
                    if key == "bytes_per_second":
                        counters.append(f"{v / 1e6:,.0f} MB/s")
                    elif key == "bytes_per_record":
                        counters.append(f"{v:,.0f} bytes per record")
                    elif key == "children":
                        counters.append(f"{v:,.0f} links per page")
                    else:
                        counters.append(f"{v / 1e6:,.2f} M/s" if v >= 1e6 else f"{v / 1e3:,.0f} k/s")
            label = b.get("label", "")
            t, unit = b["cpu_time"], b["time_unit"]
            if unit == "ns" and t >= 1000:
                t, unit = t / 1000, "us"
            shown = f"{t:,.0f}" if t >= 100 else f"{t:.3g}"
            rows.append((name, b["run_name"] + (f" ({label})" if label else ""), f"{shown} {unit}",
                         ", ".join(counters)))
    engine = os.path.join(work, "micro", "engine_bench.txt")
    engine_lines = open(engine).read().strip().splitlines() if os.path.exists(engine) else []
    return rows, engine_lines


def machine():
    cpu = sh("lscpu | sed -n 's/^Model name: *//p'") or platform.processor()
    mem = sh("free -g | awk '/^Mem:/ {print $2}'")
    return {
        "nproc": sh("nproc"),
        "cpu": cpu,
        "memory": f"{mem} GiB",
        "kernel": platform.release(),
        "os": sh(". /etc/os-release && echo \"$PRETTY_NAME\" && cat /etc/debian_version | tr '\\n' ' '").replace("\n", ", "),
    }


def versions(sitegleaner, work):
    commit_file = os.path.join(work, "commit.txt")
    commit = open(commit_file).read().strip() if os.path.exists(commit_file) else sh("git rev-parse --short HEAD")
    return {
        "Sitegleaner": f"{sh(sitegleaner + ' -version')} (commit {commit}, Release build), "
                       f"libcurl {sh('curl-config --version').replace('libcurl ', '')}",
        "wget": sh("wget --version | head -1"),
        "HTTrack": sh("httrack --version | head -1"),
        "nginx": sh("nginx -v 2>&1").replace("nginx version: ", ""),
        "PostgreSQL manual": sh("dpkg-query -W -f='${Package} ${Version}' postgresql-doc-15"),
        "Python (tools)": platform.python_version(),
        "Chromium (check in a browser)": sh("chromium --version 2>/dev/null"),
    }


def pct(a, b):
    return f"{100 * a / b:.1f} %" if b else "-"


def browser_section(work, sites, standalone=False):
    """The check in Chromium (bench/browser_fidelity.py), for the sites it ran on.
    standalone: the section goes into a report of another run, so it says what it measured."""
    results = {}
    for site in sites:
        path = os.path.join(work, f"browser-{site}.json")
        if os.path.exists(path):
            results[site] = json.load(open(path))
    if not results:
        return []
    out = []
    w = out.append
    w("## Offline in a browser\n")
    if standalone:
        stamp = max(os.path.getmtime(os.path.join(work, f"browser-{site}.json")) for site in results)
        commit_file = os.path.join(work, "commit.txt")
        commit = open(commit_file).read().strip() if os.path.exists(commit_file) else "unknown"
        w(f"Measured on {datetime.datetime.fromtimestamp(stamp).strftime('%Y-%m-%d %H:%M')}, in a run of its own "
          f"(not the run above): Sitegleaner from {commit}; {sh('chromium --version 2>/dev/null')}.\n")
    w("`bench/browser_fidelity.py` with `bench/browser_check.mjs` (puppeteer-core driving Debian's headless "
      "Chromium) opens a sample of each site's pages (every k-th page of the reference crawl in sorted "
      "order: the same pages for every tool) once as served by nginx and once from each tool's mirror on "
      "disk as `file://`, with every request that is not for a file blocked and counted. Each visit has a "
      "fresh browser context with the cache off and a 1280 x 900 window at device pixel ratio 1, and ends "
      "when the network has been quiet for 300 ms after the load event (and after a meta refresh's "
      "navigation). The mirror's copy of a page is found by the fingerprint of its text, as the coverage "
      "figure above finds it, so no tool's naming rules are assumed.\n")
    w("- Subresources: served files loaded live (status 2xx, the page itself left out; after a meta refresh, "
      "the page it leads to and what that page loads) that a file loaded offline on the same page is a copy "
      "of (same bytes; or same text "
      "leaving out `url()` values, quoted strings and comments, for a rewritten stylesheet or script; or "
      "the same page text).")
    w("- CSS rules: selectors of the style rules that matched an element live (Chromium's rule-usage "
      "coverage) that also matched offline.")
    w("- Left the disk: requests of the offline pages for anything but a file, blocked.")
    w("- Page links: the live page's links to a served file, paired with the copy's links by their text, "
      "that lead offline to a copy of the same file (a link to a folder does not: the browser shows a "
      "listing).")
    w("- Byte-identical: every non-HTML file below the mirror that is a copy of a served file, and how "
      "many are identical to it.\n")
    w("| site | tool | pages opened | subresources loaded offline | CSS rules applying offline | requests "
      "that left the disk | page links to the same file | non-HTML copies byte-identical |")
    w("|---|---|---|---|---|---|---|---|")
    for site, r in results.items():
        for tool in BROWSER_TOOLS:
            t = r["tools"].get(tool)
            if not t:
                continue
            sv = t["saved"]
            w(f"| {site} | {TOOL_NAMES[tool]} | {t['pages_found']}/{t['pages_sampled']} of {r['pages_reachable']:,} | "
              f"{t['subres_ok']:,}/{t['subres_live']:,} ({pct(t['subres_ok'], t['subres_live'])}) | "
              f"{t['css_ok']:,}/{t['css_live']:,} ({pct(t['css_ok'], t['css_live'])}) | {t['left_disk']:,} | "
              f"{t['links_ok']:,}/{t['links_live']:,} ({pct(t['links_ok'], t['links_live'])}) | "
              f"{sv['identical']:,}/{sv['copies']:,} |")
    w("")
    kinds = sorted({k for r in results.values() for t in r["tools"].values() for k in t["by_type"]})
    w("Subresources loaded offline by Chromium's resource type (loaded offline / loaded live):\n")
    w("| site | tool | " + " | ".join(kinds) + " |")
    w("|---|---|" + "---|" * len(kinds))
    for site, r in results.items():
        for tool in BROWSER_TOOLS:
            t = r["tools"].get(tool)
            if t:
                w(f"| {site} | {TOOL_NAMES[tool]} | " +
                  " | ".join(f"{t['by_type'][k][1]}/{t['by_type'][k][0]}" if k in t["by_type"] else "-"
                             for k in kinds) + " |")
    w("")
    for site, r in results.items():
        t = r["tools"].get("sitegleaner")
        if not t:
            continue
        lines = []
        gone = sorted({p for f, k, why, n, pages in t["missing_by_file"] if why == "page not in the mirror"
                       for p in pages})
        if gone:
            lines.append(f"| page | {', '.join(f'`{p}`' for p in gone[:6])} | no copy of the page in the mirror | "
                         f"{len(gone)} |")
        for e in t.get("not_html", []):
            lines.append(f"| page | `{e['page']}` saved as `{e['file']}` | opened as {e['shown_as']}, not as a "
                         "page | 1 |")
        # One row per cause, the served files it hit most often first.
        by_why = collections.defaultdict(list)
        for served_rel, kind, why, n, _ in t["missing_by_file"]:
            if why != "page not in the mirror":
                by_why[why].append((n, served_rel))
        for why, items in sorted(by_why.items(), key=lambda x: -sum(n for n, _ in x[1])):
            items.sort(key=lambda x: (-x[0], x[1]))
            shown = ", ".join(f"`{f}` ({n})" for n, f in items[:8]) + (f" and {len(items) - 8} more"
                                                                         if len(items) > 8 else "")
            lines.append(f"| subresource | {shown} | {why} | {sum(n for n, _ in items)} |")
        sels = t["css_missing_by_selector"]
        if sels:
            lines.append("| CSS rule | " + ", ".join(f"`{sel}` ({n})" for sel, n in sels[:8]) +
                         " | did not match offline | " + f"{sum(n for _, n in sels)} |")
        for live, off, why, n in t["link_problems_by_value"][:8]:
            if why == "page not in the mirror":
                continue
            shown = f"`{live}`" + (f" (copy: `{off}`)" if off is not None and off != live else "")
            lines.append(f"| page link | {shown} | {why} | {n} |")
        for u in t["left_disk_examples"][:5]:
            lines.append(f"| request | `{u}` | left the disk | - |")
        for e in t["saved"]["examples"][:8]:
            lines.append(f"| saved file | `{e['file']}` (served: {', '.join(e['served']) or 'none'}) | {e['how']} | - |")
        if not lines:
            continue
        w(f"### What differs offline in Sitegleaner's mirror of {site}\n")
        w("Counts are pages of the sample (for a subresource, a CSS rule or a page link: pages where it failed; "
          "the cause is what the offline page did instead).\n")
        w("| what | served file, selector or value (pages) | offline | pages |")
        w("|---|---|---|---|")
        out.extend(lines)
        w("")
    errors = [e for r in results.values() for e in r.get("errors", [])]
    if errors:
        w(f"{len(errors)} page loads ended in an error (" + "; ".join(f"{k}: {v}" for k, v in errors[:3]) + ").\n")
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--work", required=True)
    ap.add_argument("--sites", required=True)
    ap.add_argument("--polite-sites", default="")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--sitegleaner", required=True)
    ap.add_argument("--elapsed", type=int, default=0)
    ap.add_argument("--out", required=True)
    ap.add_argument("--browser-section-only", action="store_true",
                    help="write only the section of the check in Chromium, to be placed in a report by hand")
    args = ap.parse_args()
    if args.browser_section_only:
        with open(args.out, "w") as f:
            f.write("\n".join(browser_section(os.path.abspath(args.work), args.sites.split(), standalone=True)))
        return
    elapsed_file = os.path.join(args.work, "elapsed.txt")
    if args.elapsed:
        with open(elapsed_file, "w") as f:
            f.write(str(args.elapsed))
    elif os.path.exists(elapsed_file):
        args.elapsed = int(open(elapsed_file).read().strip() or 0)
    sites = args.sites.split()
    work = os.path.abspath(args.work)
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    runs = load_runs(work, sites)
    summary = {k: summarise(v) for k, v in runs.items()}

    def S(site, tool):
        return summary.get((site, tool))

    out = []
    w = out.append
    w("# Benchmarks: Sitegleaner, wget and HTTrack\n")
    w("Written by `bench/run.sh` (one command: it installs what is missing, builds Sitegleaner in release "
      "mode, serves the sites with nginx on 127.0.0.1, mirrors each site with each tool, checks every "
      "mirror and runs the micro-benchmarks). Every figure below comes from that one run, with all tools "
      "interleaved on the same machine, so the ratios hold even when the machine is noisy; absolute "
      "figures vary from run to run.\n")
    m = machine()
    # When the runs were made (the report may be written again later).
    stamps = [os.path.getmtime(r["dir"] + "/time.txt") for rs in runs.values() for r in rs]
    when = datetime.datetime.fromtimestamp(min(stamps)) if stamps else datetime.datetime.now()
    w(f"- Date: {when.strftime('%Y-%m-%d %H:%M')} (UTC{when.astimezone().strftime('%z')})")
    w(f"- Machine: {m['nproc']} cores ({m['cpu']}), {m['memory']} of memory, {m['os']}, Linux {m['kernel']}")
    w(f"- Runs: {args.runs} of each tool on each site, interleaved (a different tool order in each run); "
      "medians are reported")
    if args.elapsed:
        w(f"- The whole command took {args.elapsed // 60} min {args.elapsed % 60} s")
    w("")
    w("Versions:\n")
    for k, v in versions(args.sitegleaner, work).items():
        if v:
            w(f"- {k}: {v}")
    w("")

    # ------------------------------------------------------------ sites
    w("## Sites\n")
    w("| site | pages reachable from the root | objects (pages, images, stylesheets) | served from |")
    w("|---|---|---|---|")
    for site in sites:
        ref = json.load(open(os.path.join(work, f"ref-{site}.json")))
        src = "generated by `bench/gen_site.py`" if site in GENERATED else f"`{ref['docroot']}`"
        w(f"| {SITE_NAMES.get(site, site)} | {len(ref['pages']):,} | {ref['objects']:,} | {src} |")
    w("")
    w("The synthetic sites have ten pages per directory, directories nested up to three deep, about 20 "
      "links per page to other pages (relative, parent-relative, root-relative, a few absolute, some with "
      "fragments), 3 images per page (a logo and two figures from a pool of N/20 PNG files of 5 to 40 KB), "
      "one stylesheet, 4 to 8 KB of text per page, and fixed file times (so nginx sends Last-Modified). "
      "The PostgreSQL manual is 1,169 pages of DocBook HTML in one directory (about 13 KB each) with one "
      "stylesheet and three SVG figures. nginx serves every site with one worker process, keep-alive "
      "and sendfile.\n")
    if "modern" in sites:
        w("The modern site (`gen_site.py --modern`) is 46 small pages in the shapes that trouble mirroring "
          "tools: stylesheets that `@import` stylesheets and name images and fonts with `url()`, `<style>` "
          "elements and `style` attributes, `srcset`, `imagesrcset` and `<picture>`, lazy `data-src`, "
          "`<video>`, `<audio>`, `<object>`, `<iframe>` and SVG references, a meta refresh, scripts that "
          "switch a stylesheet or load an image, addresses with query strings, page names with a blank, "
          "a non-ASCII letter and `%`, a page `/about` beside a folder `/about/`, a link value with a "
          "leading blank and one with `&amp;`, a script served as `text/javascript` with a `<` in it, and "
          "an image behind a 302 redirect.\n")

    # ------------------------------------------------------------ table
    w("## Results (medians)\n")
    w("| site | tool | wall s | CPU s (user+sys) | CPU ms/page | pages/s | peak RSS MB | files | MB saved | "
      "requests | coverage | local links intact | links left to the server |")
    w("|---|---|---|---|---|---|---|---|---|---|---|---|---|")
    for site in sites:
        for tool in TOOLS:
            s = S(site, tool)
            if not s:
                continue
            w(f"| {site} | {TOOL_NAMES[tool]} | {fmt(s['wall'])} | {fmt(s['cpu'])} | {fmt(s['cpu_ms_per_page'], 3)} | "
              f"{fmt(s['pages_per_s'], 0)} | {fmt(s['rss_kb'] / 1024, 1)} | {s['files']:,.0f} | "
              f"{fmt(s['bytes'] / 1e6, 1)} | {s['requests']:,.0f} | {s['covered_min']:,}/{s['reachable']:,} | "
              f"{100 * s['intact_min']:.2f} % | {s['server_links_max']:,} |")
    w("")
    w("Pages = pages of the site found in the mirror (matched by their text). CPU ms/page = (user + sys) / "
      "pages; pages/s = pages / wall time. Peak RSS is `/usr/bin/time -v`'s maximum resident set size. Files "
      "and bytes are those below the mirror's folder for the host (HTTrack's `hts-cache` left out). "
      "Requests are the lines nginx logged during the run. Coverage and links: the worst of the runs.\n")
    bad_exits = [(k, s["exits"]) for k, s in summary.items() if s["exits"] != [0]]
    if bad_exits:
        w("Exit statuses other than 0: " + ", ".join(f"{k[0]}/{k[1]}: {v}" for k, v in bad_exits) +
          " (wget's 8 means a server answered an error status for some link: the PostgreSQL manual links "
          "to one address that does not exist).\n")

    # ------------------------------------------------------------ goals
    w("## Goals\n")
    goals = []

    def goal(text, ok, detail):
        goals.append((text, ok, detail))

    def paired(site, key, other="wget"):
        """Ratios of Sitegleaner's figure to the other tool's, run by run (the two ran minutes apart)."""
        a, b = runs.get((site, "sitegleaner"), []), runs.get((site, other), [])
        return [x[key] / y[key] for x, y in zip(a, b) if y[key]]

    for site in sites:
        sg, wg = S(site, "sitegleaner"), S(site, "wget")
        if sg and wg:
            r = sg["cpu_ms_per_page"] / wg["cpu_ms_per_page"]
            pr = paired(site, "cpu_ms_per_page")
            goal(f"CPU per page at most wget's ({site})", r <= 1.0,
                 f"Sitegleaner {fmt(sg['cpu_ms_per_page'], 3)} ms, wget {fmt(wg['cpu_ms_per_page'], 3)} ms: "
                 f"ratio {r:.2f} (run by run: {', '.join(f'{x:.2f}' for x in pr)})")
    if "s10k" in sites:
        sg, wg, ht = S("s10k", "sitegleaner"), S("s10k", "wget"), S("s10k", "httrack")
        if sg and wg and ht:
            goal("Pages per second above wget's and HTTrack's (s10k, Link Pause 0)",
                 sg["pages_per_s"] > wg["pages_per_s"] and sg["pages_per_s"] > ht["pages_per_s"],
                 f"Sitegleaner {fmt(sg['pages_per_s'], 0)}/s, wget {fmt(wg['pages_per_s'], 0)}/s "
                 f"({sg['pages_per_s'] / wg['pages_per_s']:.1f} x), HTTrack {fmt(ht['pages_per_s'], 0)}/s "
                 f"({sg['pages_per_s'] / ht['pages_per_s']:.1f} x)")
    polite_rows = []
    for site in sites:
        sp = S(site, "sitegleaner-polite")
        if not sp:
            continue
        links = sum(sp["sg_links"][:3]) if "sg_links" in sp else sp["requests"]
        bound = links * PAUSE_S / THREADS
        page_bound = sp["reachable"] * PAUSE_S / THREADS
        ratio = sp["wall"] / bound
        polite_rows.append((site, sp, links, bound, page_bound))
        goal(f"Wall time with the 500 ms pause at most 1.10 x the politeness bound ({site})", ratio <= 1.10,
             f"{fmt(sp['wall'], 1)} s for {links:,.0f} links; bound {links:,.0f} x 0.5 s / {THREADS} = "
             f"{fmt(bound, 1)} s; ratio {ratio:.3f} (runs: {', '.join(fmt(x, 1) for x in sp['walls'])} s)")
    if "s10k" in sites:
        sg, wg = S("s10k", "sitegleaner"), S("s10k", "wget")
        if sg and wg:
            per_sg = sg["rss_kb"] / 1024 * 10000 / max(sg["pages"], 1)
            per_wg = wg["rss_kb"] / 1024 * 10000 / max(wg["pages"], 1)
            goal("Peak RSS per 10,000 pages at most wget's (s10k)", per_sg <= per_wg,
                 f"Sitegleaner {per_sg:.1f} MB, wget {per_wg:.1f} MB: ratio {per_sg / per_wg:.2f}")
    if "s1k" in sites and "s10k" in sites:
        # The peak above is mostly libraries that every run maps, whatever the
        # site; what the crawl itself costs shows in how the peak grows.
        growth = {}
        for tool in ("sitegleaner", "wget"):
            small, large = S("s1k", tool), S("s10k", tool)
            if small and large and large["pages"] > small["pages"]:
                growth[tool] = ((large["rss_kb"] - small["rss_kb"]) / 1024 * 10000
                                / (large["pages"] - small["pages"]))
        if len(growth) == 2:
            g_sg, g_wg = growth["sitegleaner"], growth["wget"]
            goal("Growth of peak RSS per 10,000 pages at most wget's (s1k to s10k)", g_sg <= g_wg,
                 f"Sitegleaner {g_sg:.1f} MB, wget {g_wg:.1f} MB: ratio {g_sg / max(g_wg, 0.01):.2f}")
    for site in sites:
        sg = S(site, "sitegleaner")
        if sg and site.startswith("s"):
            goal(f"At least 99 % of local links intact ({site})", sg["intact_min"] >= 0.99,
                 f"{100 * sg['intact_min']:.2f} % (worst run), {sg['server_links_max']} links left to the server")
    for site in sites:
        sg, wg = S(site, "sitegleaner"), S(site, "wget")
        if sg and wg:
            goal(f"Coverage at least wget's ({site})", sg["covered_min"] >= wg["covered_min"],
                 f"Sitegleaner {sg['covered_min']:,}/{sg['reachable']:,}, wget {wg['covered_min']:,}/{wg['reachable']:,}")
    w("| goal | met | figures |")
    w("|---|---|---|")
    for text, ok, detail in goals:
        w(f"| {text} | {'yes' if ok else '**no**'} | {detail} |")
    w("")

    if polite_rows:
        w("### Link Pause 500 ms and the politeness bound\n")
        w("Each worker pauses 500 ms after each link, so 8 workers fetch at most 16 links a second: the bound "
          "is links x 0.5 s / 8, where links are all objects Sitegleaner fetched (pages, images, the "
          "stylesheet, and failed links: each is followed by a pause). The bound counting pages only is shown "
          "for reference.\n")
        w("| site | links fetched | wall s (median) | bound s | ratio | bound for pages only s | ratio to it |")
        w("|---|---|---|---|---|---|---|")
        for site, sp, links, bound, page_bound in polite_rows:
            w(f"| {site} | {links:,.0f} | {fmt(sp['wall'], 1)} | {fmt(bound, 1)} | {sp['wall'] / bound:.3f} | "
              f"{fmt(page_bound, 1)} | {sp['wall'] / page_bound:.3f} |")
        missing = [s for s in sites if not S(s, "sitegleaner-polite")]
        if missing:
            w(f"\nNot run with the pause by default: {', '.join(missing)} (set BENCH_POLITE_SITES; the "
              "10,000-page site takes about 11 minutes per run with the pause).")
        w("")

    # ------------------------------------------------------------ fidelity
    w("## Offline fidelity\n")
    w("`bench/check_mirror.py` parses every saved HTML page of a mirror and looks at every value of the "
      "link attributes the scanner rewrites (href, src, background, dynsrc, action, usemap, url, archive, "
      "code). A local value (relative or a file path) is intact when it resolves to an existing file that "
      "is not a placeholder page and, compared with the page the server sent, is the object the original "
      "link named (same text for a page, same size for other files, or for a stylesheet or script whose "
      "addresses the tool rewrote the same text leaving out url() values, quoted strings and comments). "
      "Absolute URLs to the served host are links left pointing at the server. Coverage counts the pages "
      "reachable from the root (found by a crawl of the served files) whose text (outside `<style>` and "
      "`<script>`) appears in a saved page.\n")
    w("| site | tool | HTML pages saved | placeholder pages | local links | intact | intact, leaving out links "
      "broken on the server | left to the server | other attributes (object data, srcset) intact |")
    w("|---|---|---|---|---|---|---|---|---|")
    for site in sites:
        for tool in TOOLS:
            rs = runs.get((site, tool))
            if not rs:
                continue
            c = min(rs, key=lambda r: r["check"]["intact_share"])["check"]
            w(f"| {site} | {TOOL_NAMES[tool]} | {c['html_files']:,} | {c['placeholders']:,} | {c['local_links']:,} | "
              f"{100 * c['intact_share']:.2f} % | {100 * c['intact_share_to_existing']:.2f} % | {c['server_links']:,} | "
              f"{c.get('other_intact', 0)}/{c.get('other_local_links', 0)} |")
    w("")
    for site in sites:
        rs = runs.get((site, "sitegleaner"))
        if not rs:
            continue
        c = min(rs, key=lambda r: r["check"]["intact_share"])["check"]
        if not c["causes"] and not c.get("other_local_links", 0) - c.get("other_intact", 0):
            continue
        w(f"### Broken links in Sitegleaner's mirror of {site}, by cause (worst run)\n")
        w("| cause | links | examples (saved page: value, original URL, what the log says) |")
        w("|---|---|---|")
        for cause, n in sorted(c["causes"].items(), key=lambda x: -x[1]):
            ex = c["examples"].get(cause, [])[:3]
            shown = "; ".join(f"{e['page']}: `{e['value']}` ({e.get('original') or ''}"
                              f"{', ' + e['detail'] if e.get('detail') else ''})" for e in ex)
            w(f"| {cause} | {n:,} | {shown} |")
        other = c.get("other_local_links", 0) - c.get("other_intact", 0)
        if other:
            ex = [e for k, v in c["examples"].items() if k.startswith("other attribute") for e in v][:3]
            shown = "; ".join(f"{e['page']}: `<{e['tag']}>` `{e['value']}`" for e in ex)
            w(f"| not followed by the scanner (attribute outside its list) | {other:,} | {shown} |")
        w("")

    out += browser_section(work, sites)

    # ------------------------------------------------------------ micro
    rows, engine_lines = micro_figures(work)
    if rows or engine_lines:
        w("## Micro-benchmarks (Google Benchmark, median of 3 repetitions)\n")
        w("| program | benchmark | CPU per iteration | figures |")
        w("|---|---|---|---|")
        for r in rows:
            w(f"| {r[0]} | {r[1]} | {r[2]} | {r[3]} |")
        w("")
        if engine_lines:
            w("`engine_bench 5000 400 8` (the engine alone with a thin processor against a loopback server):\n")
            w("```")
            for line in engine_lines:
                w(line)
            w("```\n")

    # ------------------------------------------------------------ commands
    w("## Exact commands\n")
    w("Run from the run's own directory under `build/bench-work/runs/<site>/<tool>/<run>/`; "
      f"`$ROOT` is `{root}`, each site on its own port.\n")
    w("```")
    w("bench/run.sh    # BENCH_RUNS, BENCH_SITES, BENCH_POLITE_SITES, BENCH_JOBS, BENCH_PORT_BASE")
    seen = set()
    for site in sites:
        for tool in TOOLS:
            rs = runs.get((site, tool))
            if not rs or tool in seen:
                continue
            seen.add(tool)
            cmd = rs[0]["command"].replace(root, "$ROOT")
            w(f"/usr/bin/time -v {cmd}")
    w("```\n")
    w("No robots rules were in the way: the sites have no robots.txt (nginx answers 404), so wget runs "
      "without `-e robots=off`. HTTrack's `-%c0` lifts its limit of connections per second (with "
      "`-%c1000` it stayed at about one file per second here), `-A1000000000` its transfer rate limit, "
      "and `--disable-security-limits` lets both be lifted; `-c8` gives it 8 connections and `-I0` "
      "leaves out its index page.\n")

    # Written by bench/update.sh, which measures the journal and re-runs.
    journal = os.path.join(root, "bench", "JOURNAL.md")
    if os.path.exists(journal):
        w(open(journal).read().strip() + "\n")

    findings = os.path.join(root, "bench", "FINDINGS.md")
    if os.path.exists(findings):
        w(open(findings).read().strip() + "\n")

    text = "\n".join(out)
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    with open(args.out, "w") as f:
        f.write(text)

    # The console table.
    print()
    print(f"{'site':6} {'tool':32} {'wall s':>8} {'CPU s':>7} {'ms/page':>8} {'pages/s':>8} {'RSS MB':>7} "
          f"{'coverage':>12} {'intact':>8} {'to server':>9}")
    for site in sites:
        for tool in TOOLS:
            s = S(site, tool)
            if not s:
                continue
            print(f"{site:6} {TOOL_NAMES[tool]:32} {s['wall']:8.2f} {s['cpu']:7.2f} {s['cpu_ms_per_page']:8.3f} "
                  f"{s['pages_per_s']:8.0f} {s['rss_kb'] / 1024:7.1f} {s['covered_min']:>5}/{s['reachable']:<6} "
                  f"{100 * s['intact_min']:7.2f}% {s['server_links_max']:9}")
    print()
    for text_, ok, detail in goals:
        print(f"[{'met' if ok else 'NOT MET'}] {text_}: {detail}")


if __name__ == "__main__":
    main()
