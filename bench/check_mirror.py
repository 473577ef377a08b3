#!/usr/bin/env python3
"""Offline fidelity of a mirror.

Two commands:

  check_mirror.py reference --docroot DIR --base-url http://127.0.0.1:PORT/ROOT --out REF.json [--routes R.json]
      Crawls the served site through its files (nginx serves DIR as it is:
      "dir/" is "dir/index.html", "dir" redirects to "dir/", except for the
      paths that gen_site.py --routes lists), starting at the
      root URL and following every link attribute below, and records each
      page reachable from the root with a fingerprint of its text.

  check_mirror.py check --mirror DIR --ref REF.json [--docroot DIR] [--sg-log FILE] --out RESULT.json
      Parses every saved HTML page below DIR (the mirror's folder for the
      served host) and reports:
        - local link values (relative or file paths) and the share of them
          that resolve to an existing local file that is not a Sitegleaner
          placeholder page; with --docroot also whether that file is the
          one the original link named;
        - links left pointing at the served host (absolute http(s) URLs);
        - coverage: pages of the reference found in the mirror (matched by
          the fingerprint of their text, so the check does not depend on a
          tool's file naming) over pages reachable from the root;
        - with --docroot, every broken link with its original URL and a
          cause: missing on the server, not fetched, filtered, not followed
          by the scanner (value left as written), naming clash (the local
          file holds another object).

The link attributes are those Sitegleaner's scanner rewrites: href, src,
background, dynsrc, action, usemap, url, archive, code.
"""

import argparse
import difflib
import hashlib
import html.parser
import json
import os
import posixpath
import re
import sys
import urllib.parse
from collections import Counter, defaultdict

LINK_ATTRIBUTES = ("href", "src", "background", "dynsrc", "action", "usemap", "url", "archive", "code")
SKIP_SCHEMES = ("javascript:", "mailto:", "data:", "about:", "tel:", "news:", "ftp:")
# Link attributes outside the scanner's list, reported on their own.
OTHER_ATTRIBUTES = ("data", "poster", "srcset", "longdesc")
PAGE_EXTENSIONS = (".html", ".htm", ".xhtml", ".shtml")


class PageParser(html.parser.HTMLParser):
    """Link attributes in document order and the page's text."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.links = []  # (tag, attribute, value)
        self.other_links = []  # (tag, attribute, value) of OTHER_ATTRIBUTES
        self.text = []
        self.base = None
        # The fingerprint is of the text a reader sees: a tool may rewrite
        # the addresses inside <style> and <script> (quote a url() another
        # way), and that must not make a page look like another one.
        self.in_code = None

    def handle_starttag(self, tag, attrs):
        if tag in ("style", "script"):
            self.in_code = tag
        for name, value in attrs:
            if value is None:
                continue
            if name in LINK_ATTRIBUTES:
                self.links.append((tag, name, value))
            elif name in OTHER_ATTRIBUTES:
                for candidate in (value.split(",") if name == "srcset" else [value]):
                    url = candidate.strip().split(" ")[0]
                    if url:
                        self.other_links.append((tag, name, url))
            if tag == "base" and name == "href" and self.base is None:
                self.base = value

    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)
        if tag == self.in_code:
            self.in_code = None

    def handle_endtag(self, tag):
        if tag == self.in_code:
            self.in_code = None

    def handle_data(self, data):
        if self.in_code is None:
            self.text.append(data)


def parse(path):
    with open(path, "rb") as f:
        raw = f.read()
    parser = PageParser()
    try:
        parser.feed(raw.decode("latin-1"))
        parser.close()
    except Exception:  # a malformed page still gives what was parsed before
        pass
    return parser, raw


def fingerprint(parser):
    text = " ".join("".join(parser.text).split())
    return hashlib.sha1(text.encode("latin-1", "replace")).hexdigest()


URL_RE = re.compile(rb"url\(\s*(['\"]?)[^)]*?\1\s*\)", re.I)
STR_RE = re.compile(rb"\"(?:[^\"\\\n]|\\.)*\"|'(?:[^'\\\n]|\\.)*'")
CSS_COMMENT_RE = re.compile(rb"/\*.*?\*/", re.S)
HTML_COMMENT_RE = re.compile(rb"<!--.*?-->", re.S)
BLANKS_RE = re.compile(rb"\s+")


def is_text(data):
    return b"\0" not in data[:4096]


def text_key(data):
    """A stylesheet's or a script's text less what a mirroring tool rewrites
    in it: url() values, quoted strings (addresses, @import), comments, blanks."""
    t = URL_RE.sub(b"url()", data)
    t = CSS_COMMENT_RE.sub(b"", t)
    t = HTML_COMMENT_RE.sub(b"", t)
    t = STR_RE.sub(b'""', t)
    return hashlib.sha1(BLANKS_RE.sub(b"", t)).hexdigest()


def same_file(saved, served):
    """A saved non-page file is the served one: same size, or (a rewritten
    stylesheet or script) the same text_key."""
    if os.path.getsize(saved) == os.path.getsize(served):
        return True
    with open(saved, "rb") as f:
        a = f.read()
    with open(served, "rb") as f:
        b = f.read()
    return is_text(a) and is_text(b) and text_key(a) == text_key(b)


def is_placeholder(raw):
    head = raw[:400]
    return b'CONTENT="Sitegleaner"' in head and b"Page Not Available Locally" in head


def is_page_file(path):
    lower = path.lower()
    if lower.endswith(PAGE_EXTENSIONS):
        return True
    if "." in os.path.basename(path):
        return False
    try:
        with open(path, "rb") as f:
            head = f.read(512).lower()
    except OSError:
        return False
    return b"<html" in head or b"<!doctype html" in head


def skip_value(value):
    v = value.strip()
    return not v or v.startswith("#") or v.lower().startswith(SKIP_SCHEMES)


# ---------------------------------------------------------------- reference


# Served paths that are not plain files below the document root, from
# gen_site.py --routes: {"files": {path: file}, "redirects": {path: path},
# "hidden": [file prefix]}. Empty for a site served as it lies on disk.
ROUTES = {"files": {}, "redirects": {}, "hidden": []}


def load_routes(path):
    if path:
        with open(path) as f:
            ROUTES.update(json.load(f))


def served_file(docroot, url_path, _hops=0):
    """The file nginx answers url_path with (after redirects), or None."""
    path = urllib.parse.unquote(url_path)
    if path in ROUTES["files"]:
        return os.path.join(docroot, ROUTES["files"][path])
    if path in ROUTES["redirects"] and _hops < 5:
        return served_file(docroot, ROUTES["redirects"][path], _hops + 1)
    if any(path.lstrip("/").startswith(h) for h in ROUTES["hidden"]):
        return None
    full = os.path.normpath(os.path.join(docroot, path.lstrip("/")))
    if not full.startswith(os.path.normpath(docroot)):
        return None
    if os.path.isdir(full):
        full = os.path.join(full, "index.html")
    return full if os.path.isfile(full) else None


def resolve_on_server(page_url, value, host):
    """(path, query) of a link on the served host, or None."""
    url = urllib.parse.urljoin(page_url, value.strip())
    parts = urllib.parse.urlsplit(url)
    if parts.scheme not in ("http", "https") or parts.netloc.lower() != host:
        return None
    return parts.path or "/", parts.query


def cmd_reference(args):
    base = args.base_url
    host = urllib.parse.urlsplit(base).netloc.lower()
    docroot = os.path.abspath(args.docroot)
    root_path = urllib.parse.urlsplit(base).path or "/"
    pages = {}  # served file (relative to docroot) -> {"url": ..., "fp": ...}
    objects = set()
    queue = [root_path]
    seen = {root_path}
    while queue:
        url_path = queue.pop()
        f = served_file(docroot, url_path)
        if f is None:
            continue
        rel = os.path.relpath(f, docroot)
        objects.add(rel)
        if not is_page_file(f) or rel in pages:
            continue
        parser, _ = parse(f)
        # The URL the page is known by: a directory keeps its trailing "/".
        page_url = f"http://{host}{url_path}"
        unquoted = urllib.parse.unquote(url_path)
        if os.path.isdir(os.path.join(docroot, unquoted.lstrip("/"))) and not url_path.endswith("/") and \
                unquoted not in ROUTES["files"]:
            page_url += "/"
        pages[rel] = {"url": page_url, "fp": fingerprint(parser)}
        base_url = urllib.parse.urljoin(page_url, parser.base) if parser.base else page_url
        for _, _, value in parser.links:
            if skip_value(value):
                continue
            r = resolve_on_server(base_url, value, host)
            if r is None:
                continue
            path, _ = r
            if path not in seen:
                seen.add(path)
                queue.append(path)
    if args.page_list:
        # The generator's own list of pages: every one must be reachable.
        with open(args.page_list) as f:
            listed = {line.strip().lstrip("/") for line in f if line.strip()}
        missing = listed - set(pages)
        if missing:
            sys.exit(f"{len(missing)} listed pages are not reachable from the root, e.g. {sorted(missing)[:3]}")
        extra = set(pages) - listed
        if extra:
            sys.exit(f"{len(extra)} reachable pages are not in the list, e.g. {sorted(extra)[:3]}")
    fps = Counter(p["fp"] for p in pages.values())
    result = {"base_url": base, "host": host, "docroot": docroot, "pages": pages, "objects": len(objects),
              "duplicate_fingerprints": sum(c - 1 for c in fps.values() if c > 1)}
    with open(args.out, "w") as f:
        json.dump(result, f)
    print(f"{len(pages)} pages ({len(objects)} objects) reachable from {base}")


# ---------------------------------------------------------------- check


class SgLog:
    """What Sitegleaner's log says about each URL."""

    def __init__(self, path):
        self.lines = defaultdict(list)
        if not path or not os.path.exists(path):
            return
        url_re = re.compile(r"(https?://[^\s'()]+)")
        with open(path, encoding="latin-1") as f:
            for line in f:
                for url in url_re.findall(line):
                    self.lines[url.rstrip(".,")].append(line.strip()[19:])

    def about(self, url):
        return self.lines.get(url, [])


def classify_missing(url, sg_log):
    said = " | ".join(sg_log.about(url))
    lower = said.lower()
    if not said:
        return "not fetched", "never requested"
    if any(k in lower for k in ("robots", "exclud", "depth", "filter", "not allowed", "skipp", "type", "below")):
        return "filtered", said[:200]
    return "not fetched", said[:200]


# State of a check, shared with the worker processes (set before they fork).
G = {}


def scan_page(path):
    """First pass: (path, placeholder?, fingerprint, links) of one saved page."""
    parser, raw = parse(path)
    if is_placeholder(raw):
        return path, True, None, None, None
    return path, False, fingerprint(parser), parser.links, parser.other_links


def target_kind(target):
    if target is None:
        return "root-relative path"
    if os.path.isdir(target):
        return "directory"
    if not os.path.isfile(target):
        return "missing file"
    if target in G["placeholders"]:
        return "placeholder page"
    return None


def check_page(item):
    """Second pass: every link value of one saved page."""
    path, fp, links, other_links = item
    host, mirror, docroot = G["host"], G["mirror"], G["docroot"]
    ref_pages, fp_to_ref, page_fps = G["ref_pages"], G["fp_to_ref"], G["page_fps"]
    stats, kinds, causes = Counter(), Counter(), Counter()
    examples = defaultdict(list)
    origin_rel = fp_to_ref[fp][0] if fp in fp_to_ref else None
    # Original values, aligned with the saved ones by (tag, attribute), to
    # tell the causes apart.
    originals = [None] * len(links)
    origin_url = None
    if docroot and origin_rel is not None:
        origin_url = ref_pages[origin_rel]["url"]
        oparser, _ = parse(os.path.join(docroot, origin_rel))
        olinks = oparser.links
        sm = difflib.SequenceMatcher(None, [(t, a) for t, a, _ in links], [(t, a) for t, a, _ in olinks],
                                     autojunk=False)
        for block in sm.get_matching_blocks():
            for k in range(block.size):
                originals[block.a + k] = olinks[block.b + k][2]
    page_dir = os.path.dirname(path)
    for tag, attr, value in other_links:
        v = value.strip()
        if skip_value(v) or v.lower().startswith(("http://", "https://", "//")):
            continue
        p = urllib.parse.unquote(v.split("#", 1)[0].split("?", 1)[0])
        stats["other_local_links"] += 1
        if not p.startswith("/") and os.path.isfile(os.path.normpath(os.path.join(page_dir, p))):
            stats["other_intact"] += 1
        elif len(examples[f"other attribute: {attr}"]) < 10:
            examples[f"other attribute: {attr}"].append({"page": os.path.relpath(path, mirror), "tag": tag,
                                                        "value": v})
    for i, (tag, attr, value) in enumerate(links):
        if skip_value(value):
            continue
        v = value.strip()
        lower = v.lower()
        original = originals[i]
        original_url = None
        if original is not None and origin_url is not None:
            original_url = urllib.parse.urljoin(origin_url, original.strip()).split("#")[0]
        if lower.startswith(("http://", "https://", "//")):
            netloc = urllib.parse.urlsplit(v if not v.startswith("//") else "http:" + v).netloc.lower()
            if netloc == host:
                stats["server_links"] += 1
                if len(examples["server link"]) < 5:
                    examples["server link"].append({"page": os.path.relpath(path, mirror), "value": v})
            else:
                stats["external_links"] += 1
            continue
        stats["local_links"] += 1
        if lower.startswith("file:"):
            target = urllib.parse.unquote(urllib.parse.urlsplit(v).path)
        else:
            p = urllib.parse.unquote(v.split("#", 1)[0].split("?", 1)[0])
            if p.startswith("/"):
                target = None  # a server path: nothing on the local disk answers it
            else:
                target = os.path.normpath(os.path.join(page_dir, p)) if p else path
        kind = target_kind(target)
        served = None
        if original_url:
            r = urllib.parse.urlsplit(original_url)
            if r.netloc.lower() == host:
                served = served_file(docroot, r.path)
        if kind is None and served is not None:
            # Is it the object the original link named?
            if is_page_file(served):
                rel = os.path.relpath(served, docroot)
                want = ref_pages[rel]["fp"] if rel in ref_pages else fingerprint(parse(served)[0])
                same = page_fps.get(target) == want
            else:
                same = same_file(target, served)
            if not same:
                kind = "another object's file"
        if kind is None:
            stats["intact"] += 1
            continue
        kinds[kind] += 1
        cause, detail = "unknown", ""
        if docroot and original_url:
            if served is None:
                cause = "missing on the server"
            elif kind == "another object's file":
                cause = "naming clash"
            elif original.strip() == v and not (target and os.path.exists(target)):
                cause = "not followed by the scanner"
            else:
                cause, detail = classify_missing(original_url, G["sg_log"])
        elif docroot:
            cause = "unaligned (page not matched to its original)"
        causes[cause] += 1
        if len(examples[cause]) < 25:
            examples[cause].append({"page": os.path.relpath(path, mirror), "tag": tag, "attribute": attr,
                                    "value": v, "kind": kind, "original": original_url, "detail": detail})
    return stats, kinds, causes, examples


def cmd_check(args):
    import multiprocessing
    with open(args.ref) as f:
        ref = json.load(f)
    host = ref["host"]
    mirror = os.path.abspath(args.mirror)
    docroot = os.path.abspath(args.docroot) if args.docroot else None
    ref_pages = ref["pages"]
    fp_to_ref = defaultdict(list)
    for rel, info in ref_pages.items():
        fp_to_ref[info["fp"]].append(rel)

    files = []
    total_bytes = 0
    for root, dirs, names in os.walk(mirror):
        dirs[:] = [d for d in dirs if d != "hts-cache"]
        for n in names:
            p = os.path.join(root, n)
            files.append(p)
            try:
                total_bytes += os.path.getsize(p)
            except OSError:
                pass
    page_files = [p for p in files if is_page_file(p)]

    jobs = max(1, args.jobs)
    with multiprocessing.Pool(jobs) as pool:
        scanned = pool.map(scan_page, page_files, chunksize=64)
    placeholders = {p for p, ph, _, _, _ in scanned if ph}
    pages = [(p, fp, links, other) for p, ph, fp, links, other in scanned if not ph]
    G.update(host=host, mirror=mirror, docroot=docroot, ref_pages=ref_pages, fp_to_ref=fp_to_ref,
             page_fps={p: fp for p, fp, _, _ in pages}, placeholders=placeholders, sg_log=SgLog(args.sg_log))
    with multiprocessing.Pool(jobs) as pool:
        checked = pool.map(check_page, pages, chunksize=32)

    stats, kinds, causes = Counter(), Counter(), Counter()
    examples = defaultdict(list)
    for s, k, c, e in checked:
        stats.update(s)
        kinds.update(k)
        causes.update(c)
        for key, items in e.items():
            room = 25 - len(examples[key])
            examples[key] += items[:max(0, room)]
    matched = Counter(fp for _, fp, _, _ in pages if fp in fp_to_ref)
    unmatched_pages = sum(1 for _, fp, _, _ in pages if fp not in fp_to_ref)

    reachable = len(ref_pages)
    covered = sum(min(c, len(fp_to_ref[fp])) for fp, c in matched.items())
    local = stats["local_links"]
    on_server = local - causes.get("missing on the server", 0)
    result = {
        "files": len(files),
        "bytes": total_bytes,
        "html_files": len(pages),
        "placeholders": len(placeholders),
        "unmatched_pages": unmatched_pages,
        "reachable": reachable,
        "covered": covered,
        "coverage": covered / reachable if reachable else 0,
        "local_links": local,
        "intact": stats["intact"],
        "intact_share": stats["intact"] / local if local else 1.0,
        # Leaving out the links that are broken on the server itself.
        "local_links_to_existing": on_server,
        "intact_share_to_existing": stats["intact"] / on_server if on_server else 1.0,
        "broken": sum(kinds.values()),
        "broken_kinds": dict(kinds),
        "server_links": stats["server_links"],
        "external_links": stats["external_links"],
        "causes": dict(causes),
        # object data, srcset, poster, longdesc: not among the scanner's attributes.
        "other_local_links": stats["other_local_links"],
        "other_intact": stats["other_intact"],
        "examples": examples,
    }
    with open(args.out, "w") as f:
        json.dump(result, f, indent=1)
    print(f"{len(pages)} pages, {len(placeholders)} placeholders; coverage {covered}/{reachable}; "
          f"local links intact {stats['intact']}/{local} ({100 * result['intact_share']:.2f} %); "
          f"{stats['server_links']} left pointing at the server; causes {dict(causes)}")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = ap.add_subparsers(dest="cmd", required=True)
    r = sub.add_parser("reference")
    r.add_argument("--docroot", required=True)
    r.add_argument("--base-url", required=True)
    r.add_argument("--out", required=True)
    r.add_argument("--page-list", help="the generator's list of pages, checked against the crawl")
    r.add_argument("--routes", help="gen_site.py's served paths that are not plain files")
    c = sub.add_parser("check")
    c.add_argument("--mirror", required=True)
    c.add_argument("--ref", required=True)
    c.add_argument("--docroot")
    c.add_argument("--sg-log")
    c.add_argument("--out", required=True)
    c.add_argument("--jobs", type=int, default=2, help="worker processes")
    c.add_argument("--routes", help="gen_site.py's served paths that are not plain files")
    args = ap.parse_args()
    load_routes(args.routes)
    if args.cmd == "reference":
        cmd_reference(args)
    else:
        cmd_check(args)


if __name__ == "__main__":
    sys.exit(main())
