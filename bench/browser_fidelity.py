#!/usr/bin/env python3
"""Offline fidelity as a reader sees it: each sampled page is opened in
headless Chromium twice, once as served (http://127.0.0.1:PORT/...) and once
from each tool's mirror on disk (file://...), and the two are compared.

    browser_fidelity.py --ref REF.json --docroot DIR [--routes R.json] \\
        --mirror sitegleaner=DIR --mirror wget=DIR --mirror httrack=DIR \\
        [--pages 40] --modules NODE_DIR --out RESULT.json

REF.json is check_mirror.py's reference crawl. The sample is every k-th page
of its pages in sorted order, k chosen so that at most --pages pages are
opened: the same pages for every tool and every run.

Which saved file is the copy of a served page: the one whose text has the
page's fingerprint in REF.json (check_mirror.py's fingerprint of the text
between the tags). The tools name files each in their own way (HTTrack
renames files with query strings, wget keeps "?" in names, the names of
"/about" and "/about/x.html" clash), and a fingerprint finds the copy
without knowing any of those rules; the coverage column of the static
check already shows that every tool's copies keep their text.

Which served file a file the browser loaded offline is a copy of, in order:
a page by its text fingerprint; any file by its bytes (SHA-1); a text file
by its text with url(...) values, quoted strings, comments and blanks left
out (a tool may rewrite the addresses in a stylesheet or a script); else by
its name with any query-string decoration taken off. A served file loaded
live counts as loaded offline when a file loaded offline on the same page
is a copy of it.

Per tool the result has:
  - subresources: served files loaded live (status 2xx, the page itself
    left out; after a meta refresh, the page it leads to and what that page
    loads) and the share of them loaded
    offline, by resource type, with what the offline page did instead
    (requested a file that is not there, was refused by Chromium, never
    asked for it);
  - CSS rules: style rules whose selector matched at least one element live
    (Chromium's rule-usage coverage), compared by selector text, and the
    share that also matched offline;
  - requests that left the disk: every non-file request of the offline
    pages, blocked and counted;
  - page links: same-host links of the live page to a served file, paired
    with the offline page's links by their text, and the share that lead
    offline to a copy of the same file (a folder counts as not: a browser
    shows its listing);
  - saved files: every non-HTML file below the mirror that is a copy of a
    served file, and whether it is byte-identical.
"""

import argparse
import collections
import difflib
import hashlib
import json
import math
import multiprocessing
import os
import re
import subprocess
import sys
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_mirror as cm  # noqa: E402

IGNORED_SCHEMES = ("data:", "blob:", "about:", "chrome:", "chrome-error:", "devtools:")
EXAMPLES = 40


def name_keys(rel):
    """Names a saved file may have been given for a served file: as it is,
    and without a query string kept in the name ("x.css?2022.1", "x.css@2022.1")."""
    keys = {rel}
    for sep in ("?", "@"):
        if sep in rel:
            keys.add(rel.split(sep, 1)[0])
    return keys


def walk_files(top):
    for root, dirs, names in os.walk(top):
        dirs[:] = sorted(d for d in dirs if d != "hts-cache")
        for n in sorted(names):
            yield os.path.join(root, n)


def looks_like_page(path):
    """A page by its name, or an HTML file saved under another name ("search.html_q=...")."""
    if cm.is_page_file(path):
        return True
    try:
        with open(path, "rb") as f:
            head = f.read(512).lstrip().lower()
    except OSError:
        return False
    return head.startswith((b"<!doctype html", b"<html"))


def page_fingerprint(path):
    parser, raw = cm.parse(path)
    return path, cm.is_placeholder(raw), cm.fingerprint(parser)


class Served:
    """The served files of a site, to tell which one a saved file copies."""

    def __init__(self, docroot, ref):
        self.docroot = docroot
        self.by_sha, self.by_text, self.by_name = (collections.defaultdict(set) for _ in range(3))
        self.fp_to_ref = collections.defaultdict(set)
        for rel, info in ref["pages"].items():
            self.fp_to_ref[info["fp"]].add(rel)
        self.pages = set(ref["pages"])
        for path in walk_files(docroot):
            rel = os.path.relpath(path, docroot)
            if rel in self.pages or cm.is_page_file(path):
                continue
            with open(path, "rb") as f:
                data = f.read()
            self.by_sha[hashlib.sha1(data).hexdigest()].add(rel)
            if cm.is_text(data):
                self.by_text[cm.text_key(data)].add(rel)
            self.by_name[rel].add(rel)

    def rel_of_url(self, url):
        parts = urllib.parse.urlsplit(url)
        f = cm.served_file(self.docroot, parts.path or "/")
        return os.path.relpath(f, self.docroot) if f else None


class Mirror:
    """One tool's mirror: its pages by fingerprint and what each file is a copy of."""

    def __init__(self, top, served, fps):
        self.top = top
        self.served = served
        self.fp = {p: fp for p, ph, fp in fps if not ph}
        self.placeholders = {p for p, ph, _ in fps if ph}
        self.page_of = {}
        for p in sorted(self.fp):
            for rel in served.fp_to_ref.get(self.fp[p], ()):
                self.page_of.setdefault(rel, p)
        self._cache = {}

    def identify(self, path):
        """(served files this file is a copy of, how it was told)."""
        if path in self._cache:
            return self._cache[path]
        result = (set(), "no served counterpart")
        if os.path.isfile(path):
            if path in self.placeholders:
                result = (set(), "placeholder page")
            elif path in self.fp or looks_like_page(path):
                fp = self.fp.get(path) or cm.fingerprint(cm.parse(path)[0])
                result = (set(self.served.fp_to_ref.get(fp, ())), "page text")
            else:
                with open(path, "rb") as f:
                    data = f.read()
                s = self.served
                hit = s.by_sha.get(hashlib.sha1(data).hexdigest())
                if hit:
                    result = (set(hit), "identical")
                elif cm.is_text(data) and s.by_text.get(cm.text_key(data)):
                    result = (set(s.by_text[cm.text_key(data)]), "addresses rewritten")
                else:
                    rel = os.path.relpath(path, self.top)
                    names = set()
                    for k in name_keys(rel):
                        names |= s.by_name.get(k, set())
                    if names:
                        result = (names, "content changed")
        self._cache[path] = result
        return result


def file_path(url):
    parts = urllib.parse.urlsplit(url)
    return os.fsdecode(urllib.parse.unquote_to_bytes(parts.path))


def ok(req):
    return not req["blocked"] and not req["failure"] and req["status"] is not None and 200 <= req["status"] < 300


def applied(req, rec):
    """A stylesheet counts when Chromium applied it, not when its file merely loaded."""
    return req["type"] != "stylesheet" or req["url"].split("#")[0] not in rec.get("empty_sheets", ())


REFRESH_RE = re.compile(rb"<meta[^>]+http-equiv\s*=\s*[\"']?refresh", re.I)


def has_refresh(path):
    try:
        with open(path, "rb") as f:
            return bool(REFRESH_RE.search(f.read()))
    except OSError:
        return False


def same_object(live_url, off_url):
    """Whether an offline request is, by its file name, the one for a live URL:
    the same name, or the name with a query string folded in ("x.css_2022.1",
    "x.css@v=3") or a tool's suffix before the extension ("x5931.css")."""
    a, b = base_name(live_url), base_name(off_url)
    if not a or not b:
        return False
    if a == b or b.startswith(a):
        return True
    stem, ext = os.path.splitext(a)
    return bool(ext) and b.startswith(stem) and b.endswith(ext)


def subresources(rec):
    """The page's requests less the page itself and what no server answers.
    After a meta refresh the reader sees the page it leads to: the navigation
    to it counts, with what that last document requested, and what the first
    page was still loading when it left does not (where a navigation cuts
    that off depends on timing)."""
    reqs = rec["requests"]
    navs = [i for i, r in enumerate(reqs) if r["main"] and r["navigation"]]
    commits = rec.get("commits") or [0]
    start = commits[-1] if len(navs) > 1 else 0
    out = []
    for i, r in enumerate(reqs):
        if navs and i == navs[0]:
            continue
        if i < start and i not in navs:
            continue
        if r["url"].startswith(IGNORED_SCHEMES):
            continue
        out.append(r)
    return out


def base_name(url):
    path = urllib.parse.unquote(urllib.parse.urlsplit(url).path)
    return os.path.basename(path.rstrip("/"))


def compare_page(rel, live, off, mirror, served, host, res):
    """Adds one page's figures to res (a tool's totals)."""
    live_items = {}
    for r in subresources(live):
        if ok(r) and applied(r, live):
            s = served.rel_of_url(r["url"])
            if s is not None:
                kind = "document (meta refresh)" if r["main"] and r["navigation"] else r["type"]
                live_items.setdefault(s, (kind, r["url"]))
    got = set()
    off_reqs = subresources(off) if off else []
    for r in off_reqs:
        if r["url"].startswith("file:") and ok(r) and applied(r, off):
            got |= mirror.identify(file_path(r["url"]))[0]
    refused = {base_name(u) for u in (off or {}).get("refused", [])}
    for s, (kind, url) in sorted(live_items.items()):
        t = res["by_type"].setdefault(kind, [0, 0])
        t[0] += 1
        res["subres_live"] += 1
        if s in got:
            t[1] += 1
            res["subres_ok"] += 1
            continue
        detail = ""
        if off is None:
            why = "page not in the mirror"
        elif base_name(url) in refused:
            why = "refused by Chromium for a file: page"
            res["refused"] += 1
        else:
            # The offline request for it, if any, is told by its file name.
            tries = [r for r in off_reqs if same_object(url, r["url"])]
            if tries:
                r = tries[-1]
                detail = r["url"]
                if r["blocked"]:
                    why = "requested from the server (blocked)"
                elif ok(r) and not applied(r, off):
                    why = "loaded but not applied (not named .css)" if not r["url"].split("?")[0].endswith(".css") \
                        else "loaded but not applied"
                elif ok(r):
                    why = "a file loaded, but " + mirror.identify(file_path(r["url"]))[1]
                else:
                    why = "requested a file that is not there"
            else:
                why = "never requested"
        res["why"][why] += 1
        res["missing_by_file"][(s, kind, why)].append(rel)
        if len(res["missing"]) < EXAMPLES:
            res["missing"].append({"page": rel, "type": kind, "served": s, "live": url, "offline": why,
                                   "request": detail})

    live_sel = set(live["used_selectors"])
    off_sel = set(off["used_selectors"]) if off else set()
    if off and off.get("content_type") not in (None, "text/html", "application/xhtml+xml"):
        res["not_html"].append({"page": rel, "file": os.path.relpath(file_path(off["url"]), mirror.top),
                                "shown_as": off["content_type"]})
    res["css_live"] += len(live_sel)
    res["css_ok"] += len(live_sel & off_sel)
    for sel in sorted(live_sel - off_sel):
        res["css_missing_by_selector"][sel] += 1
        if len(res["css_missing"]) < EXAMPLES:
            res["css_missing"].append({"page": rel, "selector": sel})

    if off:
        blocked = [r["url"] for r in off["requests"] if r["blocked"]]
        res["left_disk"] += len(blocked)
        for u in blocked:
            if len(res["left_disk_examples"]) < EXAMPLES and u not in res["left_disk_examples"]:
                res["left_disk_examples"].append(u)

    live_links = []
    for text, href, raw in live["anchors"]:
        parts = urllib.parse.urlsplit(href)
        if parts.scheme in ("http", "https") and parts.netloc.lower() == host:
            target = served.rel_of_url(href)
            if target is not None:
                live_links.append((text, href, raw, target))
    off_links = off["anchors"] if off else []
    pair = [None] * len(live_links)
    sm = difflib.SequenceMatcher(None, [t for t, _, _, _ in live_links], [t for t, _, _ in off_links],
                                 autojunk=False)
    for block in sm.get_matching_blocks():
        for k in range(block.size):
            pair[block.a + k] = off_links[block.b + k]
    for (text, href, raw, target), o in zip(live_links, pair):
        res["links_live"] += 1
        if o is None:
            why = "page not in the mirror" if off is None else "no such link in the copy"
        else:
            oh = o[1]
            op = urllib.parse.urlsplit(oh)
            if op.scheme == "file":
                p = file_path(oh)
                if os.path.isdir(p):
                    why = "a folder (the browser lists it)"
                elif not os.path.isfile(p):
                    why = "no such file"
                    # A file saved under the escaped name: the browser
                    # unescapes the link, so "sp%20ace.html" is "sp ace.html".
                    raw_path = os.fsdecode(urllib.parse.urlsplit(oh).path.encode())
                    if "%" in raw_path and os.path.isfile(raw_path):
                        why = f"no such file (saved as {os.path.relpath(raw_path, mirror.top)})"
                elif target in served.pages and not p.lower().endswith(cm.PAGE_EXTENSIONS):
                    # Chromium takes a file's type from its name: such a copy
                    # opens as text/plain (the visits above show it for the
                    # pages they open), not as the page.
                    why = "a copy that opens as text (no .html in its name)"
                elif target in mirror.identify(p)[0]:
                    res["links_ok"] += 1
                    continue
                else:
                    why = "another file (" + mirror.identify(p)[1] + ")"
            elif op.scheme in ("http", "https") and op.netloc.lower() == host:
                why = "left pointing at the server"
            else:
                why = "other address"
        res["link_why"][why] += 1
        res["link_problems_by_value"][(raw, o[2] if o else None, why)] += 1
        if len(res["link_problems"]) < EXAMPLES:
            res["link_problems"].append({"page": rel, "text": text, "live": raw, "offline": o[2] if o else None,
                                         "resolved": o[1] if o else None, "why": why})


def saved_files(mirror, served):
    """Every saved non-HTML file, and whether it is a byte-identical copy of a served file."""
    counts = collections.Counter()
    examples = []
    for path in walk_files(mirror.top):
        if path in mirror.fp or path in mirror.placeholders or looks_like_page(path):
            continue
        rels, how = mirror.identify(path)
        if how == "content changed" and len(rels) == 1:
            with open(path, "rb") as f:
                mine = f.read()
            with open(os.path.join(served.docroot, next(iter(rels))), "rb") as f:
                theirs = f.read()
            if len(mine) < len(theirs) and theirs.startswith(mine):
                how = f"cut short: the first {len(mine)} of {len(theirs)} bytes"
        counts[how] += 1
        if how != "identical" and len(examples) < EXAMPLES:
            examples.append({"file": os.path.relpath(path, mirror.top), "served": sorted(rels)[:3], "how": how})
    return {"files": sum(counts.values()), "copies": sum(v for k, v in counts.items() if k != "no served counterpart"),
            "identical": counts["identical"], "kinds": dict(counts), "examples": examples}


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--ref", required=True)
    ap.add_argument("--docroot", required=True)
    ap.add_argument("--routes")
    ap.add_argument("--mirror", action="append", default=[], help="TOOL=DIR, the mirror's folder for the host")
    ap.add_argument("--pages", type=int, default=50, help="at most this many pages are opened")
    ap.add_argument("--modules", required=True, help="folder whose node_modules holds puppeteer-core")
    ap.add_argument("--chromium", default="/usr/bin/chromium")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--record", help="where the browser's record goes (default: beside --out)")
    ap.add_argument("--reuse-record", action="store_true", help="compare again from an existing record")
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    cm.load_routes(args.routes)
    ref = json.load(open(args.ref))
    docroot = os.path.abspath(args.docroot)
    host = ref["host"]
    rels = sorted(ref["pages"])
    step = max(1, math.ceil(len(rels) / max(1, args.pages)))
    sample = rels[::step]
    served = Served(docroot, ref)

    mirrors = {}
    for entry in args.mirror:
        tool, _, top = entry.partition("=")
        top = os.path.abspath(top)
        pages = [p for p in walk_files(top) if looks_like_page(p)] if os.path.isdir(top) else []
        with multiprocessing.Pool(max(1, args.jobs)) as pool:
            fps = pool.map(page_fingerprint, pages, chunksize=32)
        mirrors[tool] = Mirror(top, served, fps)

    origin = "{0.scheme}://{0.netloc}/".format(urllib.parse.urlsplit(ref["base_url"]))
    live_allow = [origin, *IGNORED_SCHEMES]
    off_allow = ["file:", *IGNORED_SCHEMES]
    visits = [{"key": f"live|{rel}", "url": ref["pages"][rel]["url"], "allow": live_allow,
               "refresh": has_refresh(os.path.join(docroot, rel))} for rel in sample]
    for tool, m in mirrors.items():
        for rel in sample:
            p = m.page_of.get(rel)
            if p:
                visits.append({"key": f"{tool}|{rel}", "url": "file://" + urllib.parse.quote(p), "allow": off_allow,
                               "refresh": has_refresh(p)})
    record_path = args.record or os.path.splitext(args.out)[0] + "-record.json"
    if not args.reuse_record:
        job_path = os.path.splitext(record_path)[0] + "-job.json"
        with open(job_path, "w") as f:
            json.dump({"chromium": args.chromium, "modules": args.modules, "visits": visits}, f)
        here = os.path.dirname(os.path.abspath(__file__))
        subprocess.run(["node", os.path.join(here, "browser_check.mjs"), job_path, record_path], check=True)
    record = json.load(open(record_path))["visits"]

    result = {"base_url": ref["base_url"], "pages_reachable": len(rels), "sample_step": step,
              "sample": sample, "tools": {}}
    errors = [(k, v["error"]) for k, v in record.items() if v.get("error")]
    result["errors"] = errors
    for tool, m in mirrors.items():
        res = {"pages_sampled": len(sample), "pages_found": 0, "subres_live": 0, "subres_ok": 0, "by_type": {},
               "why": collections.Counter(), "missing": [], "refused": 0, "css_live": 0, "css_ok": 0,
               "css_missing": [], "left_disk": 0, "left_disk_examples": [], "links_live": 0, "links_ok": 0,
               "link_why": collections.Counter(), "link_problems": [], "not_html": [],
               "missing_by_file": collections.defaultdict(list), "css_missing_by_selector": collections.Counter(),
               "link_problems_by_value": collections.Counter()}
        for rel in sample:
            live = record[f"live|{rel}"]
            off = record.get(f"{tool}|{rel}")
            if off is not None:
                res["pages_found"] += 1
            compare_page(rel, live, off, m, served, host, res)
        res["saved"] = saved_files(m, served)
        res["why"] = dict(res["why"])
        res["link_why"] = dict(res["link_why"])
        # The same failure on many pages is one cause: grouped, most pages first.
        res["missing_by_file"] = sorted(([f, k, w, len(p), p[:3]] for (f, k, w), p in res["missing_by_file"].items()),
                                        key=lambda x: (-x[3], x[0]))
        res["css_missing_by_selector"] = res["css_missing_by_selector"].most_common()
        res["link_problems_by_value"] = sorted(([a, b, w, n] for (a, b, w), n in res["link_problems_by_value"].items()),
                                               key=lambda x: -x[3])
        result["tools"][tool] = res
        s = res["saved"]
        print(f"{tool:12} pages {res['pages_found']}/{res['pages_sampled']}; subresources "
              f"{res['subres_ok']}/{res['subres_live']}; CSS rules {res['css_ok']}/{res['css_live']}; "
              f"left the disk {res['left_disk']}; links {res['links_ok']}/{res['links_live']}; "
              f"byte-identical {s['identical']}/{s['copies']} copies ({s['files']} non-HTML files)")
    if errors:
        print(f"{len(errors)} page loads failed, e.g. {errors[:2]}", file=sys.stderr)
    with open(args.out, "w") as f:
        json.dump(result, f, indent=1)


if __name__ == "__main__":
    sys.exit(main())
