#!/usr/bin/env python3
"""Writes a synthetic web site for the mirroring benchmarks.

    gen_site.py --pages N --out DIR --base-url http://127.0.0.1:PORT

The site has N pages in nested directories (ten pages per directory: an
index.html and nine topic pages; directories nest up to three levels), each
page with about 20 links to other pages, 3 images (a logo shared by every
page and two figures from a shared pool of about N/20 images), one shared
stylesheet and a few kilobytes of text. Links come in the forms real sites
use: relative ("topic-03.html", "../ch02/", "../../sec04/ch07/topic-08.html"),
root-relative ("/sec03/"), with a fragment ("#part-2"), and now and then
absolute ("http://127.0.0.1:PORT/..."). Every page links to the next and the
previous page in site order, so that every page is reachable from the root.

File times are fixed dates in the past, so nginx answers with a stable
Last-Modified. The list of page paths is written to DIR/../pages-N.txt
(or --page-list). The output is the same for the same arguments.
"""

import argparse
import os
import random
import shutil
import struct
import zlib

WORDS = (
    "the a of to and in is that for it as was with be by on not he this are or his from at which but have an "
    "they you were her she there been one all we their has would when if so no will more can out some who "
    "these other into only its time could two then first do any like my now over such our man me even most "
    "made after also did many before must through back years where much your way well down should because "
    "each just those people how too little state good very make world still own see men work long get here "
    "between both life being under never day same another know while last might us great old year off come "
    "since against go came right used take three server client request response header mirror crawler index "
    "directory configuration option value default setting archive document section chapter example function "
    "parameter return table column row query transaction replication backup restore install package module "
    "library interface network protocol address connection timeout buffer memory thread process signal file"
).split()

TITLE_WORDS = (
    "Overview Installation Configuration Reference Tutorial Concepts Administration Monitoring Security "
    "Performance Troubleshooting Migration Appendix Glossary Examples Internals Extensions Clients Servers "
    "Storage Networking Backups Replication Logging Scheduling Indexing Queries Functions Operators Types"
).split()

PAGES_PER_DIR = 10  # index.html and nine topic pages
FANOUT = 10  # subdirectories per directory
LINKS_PER_PAGE = 20


def make_png(width, height, rng):
    """A valid RGB PNG of the given size with noisy content (compresses poorly, like photos)."""
    raw = bytearray()
    for _ in range(height):
        raw.append(0)
        raw += rng.randbytes(width * 3)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 6)) + chunk(b"IEND", b""))


def directories(count):
    """The first count directories in breadth-first order: "", "sec01/", ..., "sec01/ch01/", ..."""
    dirs = [""]
    level = [""]
    names = ["sec", "ch", "part", "sub", "leaf"]
    depth = 0
    while len(dirs) < count:
        nxt = []
        for parent in level:
            for k in range(1, FANOUT + 1):
                nxt.append(f"{parent}{names[min(depth, len(names) - 1)]}{k:02d}/")
        # Spread the directories of an incomplete level over all parents.
        need = count - len(dirs)
        if need < len(nxt):
            per_parent = -(-need // len(level))
            nxt = [d for i, d in enumerate(nxt) if i % FANOUT < per_parent][:need]
        dirs += nxt
        level = nxt
        depth += 1
    return dirs


def relative(from_dir, to_path):
    """Relative reference from a page in from_dir ("a/b/") to to_path ("c/d.html" or "c/")."""
    src = [p for p in from_dir.split("/") if p]
    dst = to_path.split("/")
    common = 0
    while common < len(src) and common < len(dst) - 1 and src[common] == dst[common]:
        common += 1
    parts = [".."] * (len(src) - common) + dst[common:]
    rel = "/".join(parts)
    return rel if rel else "./"


def paragraph(rng, words):
    out = []
    for i in range(words):
        w = rng.choice(WORDS)
        if i == 0:
            w = w.capitalize()
        out.append(w)
        if i % 13 == 12:
            out[-1] += ","
    text = " ".join(out) + "."
    # Some inline markup, as prose has.
    cut = text.find(" ", len(text) // 3)
    cut2 = text.find(" ", cut + 20)
    if cut > 0 and cut2 > 0:
        text = text[:cut] + " <em>" + text[cut + 1:cut2] + "</em>" + text[cut2:]
    return text


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--pages", type=int, required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--base-url", required=True, help="http://host:port, used in the absolute links")
    ap.add_argument("--page-list")
    ap.add_argument("--seed", type=int, default=20240)
    args = ap.parse_args()

    n = args.pages
    base_url = args.base_url.rstrip("/")
    rng = random.Random(args.seed)
    out = args.out
    if os.path.exists(out):
        shutil.rmtree(out)
    os.makedirs(out)

    ndirs = -(-n // PAGES_PER_DIR)
    dirs = directories(ndirs)
    pages = []  # served paths without the leading "/"; "dir/index.html" for indexes
    for d in dirs:
        for k in range(PAGES_PER_DIR):
            if len(pages) == n:
                break
            pages.append(f"{d}index.html" if k == 0 else f"{d}topic-{k:02d}.html")
    page_dir = {p: p[: p.rfind("/") + 1] for p in pages}
    children = {d: [] for d in dirs}
    for d in dirs[1:]:
        parent = d[: d[:-1].rfind("/") + 1]
        children[parent].append(d)
    dir_pages = {d: [] for d in dirs}
    for p in pages:
        dir_pages[page_dir[p]].append(p)

    def link_target(p):
        """How a page is named in a link: a directory index by its directory."""
        return p[: -len("index.html")] if p.endswith("index.html") else p

    # Images: a logo on every page and a pool of figures.
    pool = max(40, n // 20)
    os.makedirs(os.path.join(out, "images", "figures"))
    images = []
    img_sizes = {}
    for i in range(pool):
        w, h = rng.choice([(64, 48), (96, 64), (120, 80), (160, 90), (48, 48), (80, 60)])
        rel = f"images/figures/fig-{i:04d}.png"
        with open(os.path.join(out, rel), "wb") as f:
            f.write(make_png(w, h, rng))
        images.append(rel)
        img_sizes[rel] = (w, h)
    with open(os.path.join(out, "images", "logo.png"), "wb") as f:
        f.write(make_png(120, 40, rng))
    img_sizes["images/logo.png"] = (120, 40)

    os.makedirs(os.path.join(out, "css"))
    css = ["/* Site stylesheet */"]
    for sel in ("body", "header", "nav", "main", "footer", "h1", "h2", "p", "a", "a:hover", "figure", "figcaption",
                "table", "td", "th", "code", "pre", ".note", ".warning", ".breadcrumb", ".related", ".toc"):
        css.append(f"{sel} {{\n  margin: {rng.randrange(0, 20)}px {rng.randrange(0, 30)}px;\n"
                   f"  padding: {rng.randrange(0, 12)}px;\n  color: #{rng.randrange(0x1000000):06x};\n"
                   f"  font-size: {rng.choice(['0.9em', '1em', '1.1em', '1.4em', '2em'])};\n"
                   f"  line-height: {rng.choice(['1.3', '1.4', '1.5'])};\n}}\n")
    with open(os.path.join(out, "css", "site.css"), "w") as f:
        f.write("\n".join(css))

    titles = {p: f"{rng.choice(TITLE_WORDS)} {rng.choice(TITLE_WORDS).lower()} {i}" for i, p in enumerate(pages)}

    for i, p in enumerate(pages):
        d = page_dir[p]

        def ref(target_page, style):
            t = link_target(target_page)
            if style == "abs":
                return f"{base_url}/{t}"
            if style == "root":
                return "/" + t
            r = relative(d, t)
            return r

        def style():
            x = rng.random()
            return "abs" if x < 0.03 else "root" if x < 0.18 else "rel"

        nav = []
        nav.append(("Home", ref(pages[0], "rel" if rng.random() < 0.7 else "root")))
        if d:
            parent_dir = d[: d[:-1].rfind("/") + 1]
            nav.append(("Up", ref(f"{parent_dir}index.html", "rel")))
        nav.append(("Previous", ref(pages[i - 1], "rel")))
        nav.append(("Next", ref(pages[(i + 1) % n], "rel")))

        toc = []
        if p.endswith("index.html"):
            for q in dir_pages[d]:
                if q != p:
                    toc.append((titles[q], ref(q, "rel")))
            for c in children[d]:
                toc.append((titles[f"{c}index.html"], ref(f"{c}index.html", "rel")))

        related = []
        want = max(4, LINKS_PER_PAGE - len(nav) - len(toc))
        for _ in range(want):
            # Half near (same or sibling directory), half anywhere.
            if rng.random() < 0.5 and len(dir_pages[d]) > 1:
                q = rng.choice(dir_pages[d])
            else:
                q = pages[rng.randrange(n)]
            h = ref(q, style())
            if rng.random() < 0.08:
                h += f"#part-{rng.randrange(1, 5)}"
            related.append((titles[q], h))

        figs = ["images/logo.png", rng.choice(images), rng.choice(images)]
        css_href = relative(d, "css/site.css") if rng.random() < 0.8 else "/css/site.css"

        body = []
        body.append("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n")
        body.append(f"<title>{titles[p]} - Example Manual</title>\n")
        body.append(f"<link rel=\"stylesheet\" type=\"text/css\" href=\"{css_href}\">\n</head>\n<body>\n")
        w, h = img_sizes[figs[0]]
        body.append(f"<header><a href=\"{nav[0][1]}\"><img src=\"{relative(d, figs[0])}\" alt=\"Example Manual\" "
                    f"width=\"{w}\" height=\"{h}\"></a></header>\n")
        body.append("<nav class=\"breadcrumb\">" +
                    " | ".join(f"<a href=\"{h_}\">{t}</a>" for t, h_ in nav) + "</nav>\n")
        body.append(f"<main>\n<h1>{titles[p]}</h1>\n")
        if toc:
            body.append("<ul class=\"toc\">\n" + "".join(f"<li><a href=\"{h_}\">{t}</a></li>\n" for t, h_ in toc) +
                        "</ul>\n")
        paragraphs = rng.randrange(5, 11)
        rel_iter = iter(related)
        for k in range(paragraphs):
            if k in (1, paragraphs // 2):
                body.append(f"<h2 id=\"part-{k}\">{rng.choice(TITLE_WORDS)} {rng.choice(WORDS)}</h2>\n")
            text = paragraph(rng, rng.randrange(60, 120))
            # Two or three related links woven into the prose.
            for _ in range(3):
                link = next(rel_iter, None)
                if link is None:
                    break
                text += f" See <a href=\"{link[1]}\">{link[0]}</a>."
            body.append(f"<p>{text}</p>\n")
            if k in (2, paragraphs - 2):
                fig = figs[1] if k == 2 else figs[2]
                fw, fh = img_sizes[fig]
                body.append(f"<figure><img src=\"{relative(d, fig)}\" alt=\"Figure {k}\" width=\"{fw}\" "
                            f"height=\"{fh}\"><figcaption>Figure {k}: {rng.choice(TITLE_WORDS)}</figcaption>"
                            "</figure>\n")
        rest = list(rel_iter)
        if rest:
            body.append("<ul class=\"related\">\n" + "".join(f"<li><a href=\"{h_}\">{t}</a></li>\n"
                                                           for t, h_ in rest) + "</ul>\n")
        body.append(f"</main>\n<footer><p>Page {i} of {n}. Copyright the Example Project.</p></footer>\n"
                    "</body>\n</html>\n")
        path = os.path.join(out, p)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write("".join(body))

    # Fixed file times: the site was last changed on 1 March 2024.
    t0 = 1709251200
    k = 0
    for root, _, files in os.walk(out):
        for name in sorted(files):
            os.utime(os.path.join(root, name), (t0 - k * 60, t0 - k * 60))
            k += 1

    page_list = args.page_list or os.path.join(os.path.dirname(os.path.abspath(out)), f"pages-{n}.txt")
    with open(page_list, "w") as f:
        for p in pages:
            f.write("/" + p + "\n")


if __name__ == "__main__":
    main()
