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

    gen_site.py --modern --out DIR --base-url http://127.0.0.1:PORT \
                --page-list FILE --nginx-conf FILE --routes FILE

writes instead a small site (46 pages) in the shapes that trip mirroring
tools up on today's sites, rather than a large one: stylesheets that
@import stylesheets and name images and fonts with url(), <style> elements
and style attributes, srcset, imagesrcset and <picture>, lazy data-src,
video, audio, <object> and SVG references, a meta refresh, a script that
switches stylesheets or loads an image by itself, addresses with query
strings, page names with blanks, non-ASCII letters and "%", a page /about
beside a folder /about/, odd but valid link values, a script served as
text/javascript with a "<" in it, and an image behind a redirect. Two of
those need the server's help: --nginx-conf gets the location blocks to
include in the site's nginx server block, and --routes the same facts as
JSON for check_mirror.py, which reads the served files directly.
"""

import argparse
import json
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


# ---------------------------------------------------------------- the modern site

# A transparent 1x1 GIF, the usual stand-in src of a lazy image.
BLANK_GIF = "data:image/gif;base64,R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7"
BLOG_POSTS = 30


def make_wav(rng, frames=1600):
    """A valid 8 kHz mono WAV of 0.2 s: browsers decode it in <audio> and <video> alike."""
    data = bytes(128 + rng.randrange(-20, 21) for _ in range(frames))
    fmt = struct.pack("<HHIIHH", 1, 1, 8000, 8000, 1, 8)
    return (b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(data)) + b"WAVE" +
            b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data)


def write_modern(args):
    rng = random.Random(args.seed)
    out = os.path.abspath(args.out)
    base_url = args.base_url.rstrip("/")
    if os.path.exists(out):
        shutil.rmtree(out)
    os.makedirs(out)
    files = {}  # served file (relative to out) -> bytes
    pages = []  # served files that are pages, in site order

    def put(rel, data):
        files[rel] = data.encode("utf-8") if isinstance(data, str) else data

    def image(rel, w=32, h=24):
        put(rel, make_png(w, h, rng))

    # ------------------------------------------------------------ images, fonts, media
    for rel, size in (("img/logo.png", (120, 40)), ("img/bg-texture.png", (16, 16)), ("img/banner.png", (200, 30)),
                      ("img/pattern.png", (12, 12)), ("img/icons/arrow.png", (12, 12)),
                      ("img/icons/note.png", (16, 16)), ("img/wide-bg.png", (40, 40)),
                      ("img/print-logo.png", (60, 20)), ("img/hero-bg.png", (64, 32)),
                      ("img/dark-bg.png", (8, 8)), ("img/promo-1x.png", (80, 40)),
                      ("img/promo-2x.png", (160, 80)), ("img/hero-1x.png", (90, 45)), ("img/hero-2x.png", (180, 90)),
                      ("img/photo-320.png", (32, 20)), ("img/photo-640.png", (64, 40)),
                      ("img/photo-1280.png", (128, 80)), ("img/wide-1x.png", (96, 32)), ("img/wide-2x.png", (192, 64)),
                      ("img/narrow-src.png", (40, 40)), ("img/narrow.png", (40, 40)), ("img/lazy-1.png", (30, 30)),
                      ("img/lazy-2.png", (30, 30)), ("img/lazy-s-1x.png", (30, 20)), ("img/lazy-s-2x.png", (60, 40)),
                      ("img/lazy-wide.png", (50, 20)), ("img/lazy-narrow.png", (20, 20)), ("img/poster.png", (80, 45)),
                      ("img/chart.png", (60, 40)), ("img/inline-bg.png", (20, 20)),
                      ("img/inline-quoted.png", (20, 20)), ("img/boxed.png", (20, 20)), ("img/card-1.png", (40, 30)),
                      ("img/card-2.png", (40, 30)), ("img/card-3.png", (40, 30)), ("img/spacer.png", (4, 4)),
                      ("img/frame-bg.png", (10, 10)), ("img/brand/logo-2024.png", (120, 40))):
        image(rel, *size)
    for k in range(1, BLOG_POSTS + 1):
        image(f"img/posts/post-{k:02d}.png", 48, 32)
        image(f"img/posts/post-{k:02d}@2x.png", 96, 64)
        if k % 3 == 0:
            image(f"img/posts/lazy-{k:02d}.png", 40, 24)
        if k % 4 == 0:
            image(f"img/posts/bg-{k:02d}.png", 24, 24)
        if k % 5 == 0:
            image(f"img/posts/wide-{k:02d}.png", 96, 24)
    # Not valid fonts: a browser still fetches both sources (the second when
    # the first fails to decode), which is what the check counts.
    put("fonts/site-sans.woff2", b"wOF2" + rng.randbytes(700))
    put("fonts/site-sans.woff", b"wOFF" + rng.randbytes(900))
    put("media/intro.wav", make_wav(rng))
    put("media/tune.wav", make_wav(rng))
    put("img/diagram.svg", '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<svg xmlns="http://www.w3.org/2000/svg" width="120" height="80" viewBox="0 0 120 80">\n'
        '  <rect x="4" y="4" width="112" height="72" fill="#e8eef4" stroke="#205080"/>\n'
        '  <path d="M10 70 L40 30 L70 50 L110 12" fill="none" stroke="#c04020" stroke-width="3"/>\n</svg>\n')
    put("img/icons.svg", '<svg xmlns="http://www.w3.org/2000/svg">\n'
        '  <symbol id="star" viewBox="0 0 20 20"><path d="M10 1 L13 8 L20 8 L14 12 L16 19 L10 15 L4 19 L6 12 '
        'L0 8 L7 8 Z"/></symbol>\n</svg>\n')

    # ------------------------------------------------------------ stylesheets
    put("style/main.css", """/* Site stylesheet: the imports come first, as CSS requires. */
@import "base.css";
@import url(theme/colors.css);
@import url("wide.css") screen and (min-width: 600px);
@import url('print.css') print;

@font-face {
  font-family: "Site Sans";
  src: url("../fonts/site-sans.woff2") format("woff2"), url(../fonts/site-sans.woff) format("woff");
}
body { font-family: "Site Sans", Arial, sans-serif; background: #fdfdfb url(../img/bg-texture.png) repeat; margin: 0; }
.site-header { background: url('../img/banner.png') no-repeat; min-height: 40px; padding: 4px 1em; }
nav.main-nav a { margin-right: 0.6em; }
main { padding: 1em 2em; }
.card { height: 30px; width: 40px; display: inline-block; }
.unused-everywhere { color: red; }
""")
    put("style/base.css", """@import "typography.css";
.note { background: url(../img/icons/note.png) no-repeat left center; padding-left: 20px; }
figure { margin: 1em 0; }
""")
    put("style/typography.css", """h1 { background: url( "../img/icons/arrow.png" ) no-repeat left center; padding-left: 16px; }
h2 { font-size: 1.2em; }
p { line-height: 1.45; }
""")
    put("style/theme/colors.css", """a { color: #205080; }
footer { background: url("../../img/pattern.png"); padding: 0.5em 2em; }
""")
    put("style/wide.css", """main { background: url(../img/wide-bg.png) no-repeat right top; }
""")
    put("style/print.css", """body { background: url(../img/print-logo.png) no-repeat; }
nav { display: none; }
""")
    put("style/x.css", """/* Versioned by a query string in the pages that link it. */
.hero { background: url(../img/hero-bg.png) no-repeat; min-height: 32px; }
.post-meta { font-size: 0.85em; color: #666; }
""")
    # The light theme is replaced as soon as the page is parsed: whether its
    # rules were ever applied (and an image of theirs fetched) is a race, so
    # it names no image and no selector that the dark theme does not.
    put("style/light.css", """html { color: #222; }
""")
    put("style/dark.css", """html { background: url(../img/dark-bg.png); color: #eee; }
.theme-name { font-weight: bold; }
""")
    put("style/inline-import.css", """.boxed { background: url(../img/boxed.png); border: 1px solid #999; height: 24px; }
""")
    put("style/frame.css", """.in-frame { background: url(../img/frame-bg.png); }
""")

    # ------------------------------------------------------------ scripts
    put("js/app.js", """// Lazy images: the real addresses wait in data-src and data-srcset until the page is parsed.
document.addEventListener("DOMContentLoaded", function () {
  var nodes = document.querySelectorAll("[data-src], [data-srcset]");
  Array.prototype.forEach.call(nodes, function (el) {
    if (el.dataset.srcset) el.setAttribute("srcset", el.dataset.srcset);
    if (el.dataset.src) el.setAttribute("src", el.dataset.src);
  });
});
""")
    put("js/theme.js", """// The dark theme replaces the light one as soon as the page is parsed.
document.addEventListener("DOMContentLoaded", function () {
  var link = document.getElementById("theme");
  if (link) link.setAttribute("href", "style/dark.css");
});
""")
    # Served as text/javascript. The "<" below never meets a ">": a tool that
    # reads this file as HTML sees one endless tag whose "attributes" include
    # src = "img/spacer.png".
    put("js/legacy.js", """// Old helper, still loaded by one page.
var limit = 4;
function clampWidth(n) {
  if (n <limit) { return n; }
  return limit;
}
var spacer = new Image();
spacer.src = "img/spacer.png";
document.documentElement.className += " legacy-" + clampWidth(2);
""")

    # ------------------------------------------------------------ pages
    titles = {}

    def text(words_min=50, words_max=90):
        return paragraph(rng, rng.randrange(words_min, words_max))

    root_pages = [  # (served file, how the navigation names it from the root, nav label)
        ("index.html", "./", "Home"),
        ("gallery.html", "gallery.html", "Gallery"),
        ("media.html", "media.html", "Media"),
        ("styles.html", "styles.html", "Styles"),
        ("refresh.html", "refresh.html", "Moved page"),
        ("news/latest.html", "news/latest.html", "Latest news"),
        ("sp ace.html", "sp%20ace.html", "Space"),
        ("café.html", "caf%C3%A9.html", "Café"),
        ("100%.html", "100%25.html", "Full"),
        ("_routes/about.html", "about", "About"),
        ("search.html", "search.html?q=mirror&amp;page=2", "Search"),
        ("contact.html", " contact.html", "Contact"),
        ("legacy.html", "legacy.html", "Legacy"),
        ("blog/index.html", "blog/", "Blog"),
    ]

    def nav(prefix):
        # A leading blank stays in front of the prefix, as it was written.
        items = []
        for _, target, label in root_pages:
            lead = " " if target.startswith(" ") else ""
            t = target.strip()
            t = prefix + t if t != "./" else (prefix or "./")
            items.append(f'<a href="{lead}{t}">{label}</a>')
        return '<nav class="main-nav">' + "\n".join(items) + "</nav>\n"

    def page(rel, title, body, prefix="", head_extra="", theme=None, scripts=()):
        """A page at rel whose links to the root start with prefix ("" or "../")."""
        titles[rel] = title
        h = ["<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n",
             f"<title>{title} - Modern Example</title>\n",
             f'<link rel="stylesheet" href="{prefix}style/main.css">\n',
             f'<link rel="stylesheet" href="{prefix}style/x.css?2022.1">\n']
        if theme:
            h.append(f'<link rel="stylesheet" id="theme" href="{theme}">\n<script src="js/theme.js"></script>\n')
        h.append(head_extra)
        h.append(f'<script src="{prefix}js/app.js?v=3"></script>\n')
        for s in scripts:
            h.append(s)
        h.append("</head>\n<body>\n")
        h.append(f'<header class="site-header"><a href="{prefix or "./"}"><img src="{prefix}img/logo.png" '
                 'alt="Modern Example" width="120" height="40"></a></header>\n')
        h.append(nav(prefix))
        h.append(f'<main>\n<h1>{title}</h1>\n<p class="hero">{text()}</p>\n{body}\n<p>{text()}</p>\n</main>\n')
        h.append(f"<footer><p>{title}. Copyright the Modern Example Project.</p></footer>\n</body>\n</html>\n")
        put(rel, "".join(h))
        pages.append(rel)

    theme = "style/light.css"
    page("index.html", "Welcome to the modern example",
         '<p class="theme-name">Theme</p>\n'
         '<img src="img/promo-1x.png" srcset="img/promo-1x.png 1x, img/promo-2x.png 2x" alt="Promotion" '
         'width="80" height="40">\n'
         f'<p>{text()}</p>\n<ul class="note">\n'
         '<li><a href="news/latest.html">The latest news</a></li>\n'
         f'<li><a href="{base_url}/gallery.html">The gallery, by its full address</a></li>\n'
         '<li><a href="/styles.html#inline">Styles, from the root</a></li>\n</ul>\n',
         head_extra='<link rel="preload" as="image" href="img/promo-1x.png" '
                    'imagesrcset="img/promo-1x.png 1x, img/promo-2x.png 2x">\n', theme=theme)
    page("gallery.html", "Gallery of responsive images",
         '<img src="img/hero-1x.png" srcset="img/hero-1x.png 1x, img/hero-2x.png 2x" alt="Hero" width="90" '
         'height="45">\n'
         '<img src="img/photo-640.png" srcset="img/photo-320.png 320w, img/photo-640.png 640w, '
         'img/photo-1280.png 1280w" sizes="(min-width: 800px) 640px, 100vw" alt="Photo">\n'
         '<picture>\n<source media="(min-width: 600px)" srcset="img/wide-1x.png 1x, img/wide-2x.png 2x">\n'
         '<source srcset="img/narrow-src.png">\n<img src="img/narrow.png" alt="Wide or narrow">\n</picture>\n'
         f'<p>{text()}</p>\n'
         f'<img class="lazy" src="{BLANK_GIF}" data-src="img/lazy-1.png" alt="Lazy one">\n'
         f'<img class="lazy" src="{BLANK_GIF}" data-src="img/lazy-2.png" alt="Lazy two">\n'
         f'<img class="lazy" src="{BLANK_GIF}" data-srcset="img/lazy-s-1x.png 1x, img/lazy-s-2x.png 2x" '
         'alt="Lazy set">\n'
         '<picture>\n<source media="(min-width: 600px)" data-srcset="img/lazy-wide.png">\n'
         f'<img src="{BLANK_GIF}" data-src="img/lazy-narrow.png" alt="Lazy picture">\n</picture>\n',
         theme=theme)
    page("media.html", "Media and embedded documents",
         '<video controls preload="auto" poster="img/poster.png" src="media/intro.wav" width="160" '
         'height="90"></video>\n'
         '<audio controls preload="auto" src="media/tune.wav"></audio>\n'
         '<object type="image/svg+xml" data="img/diagram.svg" width="120" height="80">A diagram</object>\n'
         '<svg width="120" height="60" xmlns="http://www.w3.org/2000/svg" '
         'xmlns:xlink="http://www.w3.org/1999/xlink">\n'
         '<image href="img/chart.png" x="0" y="0" width="60" height="40"/>\n'
         '<use xlink:href="img/icons.svg#star" x="70" y="0" width="20" height="20"/>\n</svg>\n'
         '<iframe src="frame.html" width="300" height="60" title="A framed note"></iframe>\n',
         theme=theme)
    # The framed note is a page of its own, opened inside media.html.
    titles["frame.html"] = "Framed note"
    put("frame.html", "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>Framed note - Modern Example</title>\n<link rel=\"stylesheet\" href=\"style/frame.css\">\n"
        f"</head>\n<body class=\"in-frame\">\n<p>Framed note. {text(20, 30)}</p>\n</body>\n</html>\n")
    pages.append("frame.html")
    page("styles.html", "Inline styles",
         '<div class="boxed" id="inline">Boxed</div>\n'
         '<div class="inline-bg" style="height: 20px"></div>\n<div class="inline-quoted" style="height: 20px"></div>\n'
         '<div class="card" style="background:url(img/card-1.png)"></div>\n'
         "<div class=\"card\" style=\"background-image: url('img/card-2.png')\"></div>\n"
         '<div class="card" style="background: url(&quot;img/card-3.png&quot;) no-repeat"></div>\n',
         head_extra='<style>\n@import url("style/inline-import.css");\n'
                    '.inline-bg { background-image: url(img/inline-bg.png); }\n'
                    ".inline-quoted { background-image: url('img/inline-quoted.png'); }\n</style>\n",
         theme=theme)
    page("refresh.html", "This page has moved",
         '<p>The news moved to <a href="news/latest.html">the latest news</a>.</p>\n',
         head_extra='<meta http-equiv="refresh" content="0; url=news/latest.html">\n')
    page("news/latest.html", "Latest news", f'<p class="post-meta">{text(10, 20)}</p>\n'
         '<p><a href="../refresh.html">The old address</a></p>\n', prefix="../")
    page("sp ace.html", "A page name with a blank", f"<p>{text()}</p>\n", theme=theme)
    page("café.html", "Café, a page name with a non-ASCII letter", f"<p>{text()}</p>\n", theme=theme)
    page("100%.html", "One hundred percent", f"<p>{text()}</p>\n", theme=theme)
    # /about is served from _routes/about.html (see the nginx blocks below),
    # beside the folder /about/; links from it resolve against the root.
    page("_routes/about.html", "About the project",
         '<p>More in <a href="about/x.html">the story so far</a>.</p>\n', theme=theme)
    page("about/x.html", "The story so far", '<p>Back to <a href="../about">about</a>.</p>\n', prefix="../")
    page("search.html", "Search results", '<ol class="note"><li>No results on this example site.</li></ol>\n',
         theme=theme)
    page("contact.html", "Contact", f'<p class="note">{text(20, 40)}</p>\n', theme=theme)
    page("legacy.html", "Legacy scripts",
         '<img src="img/old-logo.png" alt="Old logo, redirected" width="120" height="40">\n'
         "<script>\nvar items = [1, 2, 3];\nfor (var i = 0; i <items.length; i++) { items[i] *= 2; }\n</script>\n",
         theme=theme, scripts=['<script type="text/javascript" src="js/legacy.js"></script>\n'])

    post_titles = [f"{rng.choice(TITLE_WORDS)} notes {k}" for k in range(1, BLOG_POSTS + 1)]
    page("blog/index.html", "Blog", '<ul class="toc">\n' + "".join(
        f'<li><a href="post-{k:02d}.html">{post_titles[k - 1]}</a></li>\n' for k in range(1, BLOG_POSTS + 1)) +
         "</ul>\n", prefix="../")
    for k in range(1, BLOG_POSTS + 1):
        body = [f'<p class="post-meta">Post {k} of {BLOG_POSTS}</p>\n',
                f'<figure><img src="../img/posts/post-{k:02d}.png" srcset="../img/posts/post-{k:02d}.png 1x, '
                f'../img/posts/post-{k:02d}@2x.png 2x" alt="Figure {k}" width="48" height="32"></figure>\n']
        if k % 3 == 0:
            body.append(f'<img src="{BLANK_GIF}" data-src="../img/posts/lazy-{k:02d}.png" alt="Lazy figure">\n')
        if k % 4 == 0:
            body.append(f'<div class="card" style="background:url(../img/posts/bg-{k:02d}.png)"></div>\n')
        if k % 5 == 0:
            body.append(f'<picture><source media="(min-width: 600px)" srcset="../img/posts/wide-{k:02d}.png">'
                        f'<img src="../img/posts/post-{k:02d}.png" alt="Wide figure"></picture>\n')
        links = []
        if k > 1:
            links.append(f'<a href="post-{k - 1:02d}.html">Previous</a>')
        if k < BLOG_POSTS:
            links.append(f'<a href="post-{k + 1:02d}.html">Next</a>')
        links.append('<a href="./">All posts</a>')
        if k % 6 == 0:
            links.append('<a href="../caf%C3%A9.html">The café</a>')
        if k % 7 == 0:
            links.append('<a href="/blog/post-01.html#top">The first post</a>')
        body.append("<p>" + " | ".join(links) + "</p>\n")
        page(f"blog/post-{k:02d}.html", post_titles[k - 1], "".join(body), prefix="../")

    for rel, data in files.items():
        path = os.path.join(out, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    t0 = 1709251200
    for k, rel in enumerate(sorted(files)):
        os.utime(os.path.join(out, rel), (t0 - k * 60, t0 - k * 60))

    # /about, a hidden file under /_routes/, a redirected image and a
    # script type that nginx's mime.types does not give .js.
    routes = {"files": {"/about": "_routes/about.html"}, "redirects": {"/img/old-logo.png": "/img/brand/logo-2024.png"},
              "hidden": ["_routes/"]}
    if args.routes:
        with open(args.routes, "w") as f:
            json.dump(routes, f, indent=1)
    if args.nginx_conf:
        with open(args.nginx_conf, "w") as f:
            f.write("# Written by bench/gen_site.py --modern, included in the site's server block.\n"
                    f"location = /about {{\n    default_type text/html;\n    alias {out}/_routes/about.html;\n}}\n"
                    "location ^~ /_routes/ {\n    return 404;\n}\n"
                    "location = /img/old-logo.png {\n    return 302 /img/brand/logo-2024.png;\n}\n"
                    "location = /js/legacy.js {\n    types { }\n    default_type text/javascript;\n}\n")
    page_list = args.page_list or os.path.join(os.path.dirname(out), "pages-modern.txt")
    with open(page_list, "w") as f:
        for p in pages:
            f.write("/" + p + "\n")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--pages", type=int)
    ap.add_argument("--modern", action="store_true", help="the small site of modern page features")
    ap.add_argument("--nginx-conf", help="with --modern: where the server's location blocks go")
    ap.add_argument("--routes", help="with --modern: where the served paths that are not plain files go")
    ap.add_argument("--out", required=True)
    ap.add_argument("--base-url", required=True, help="http://host:port, used in the absolute links")
    ap.add_argument("--page-list")
    ap.add_argument("--seed", type=int, default=20240)
    args = ap.parse_args()
    if args.modern:
        return write_modern(args)
    if args.pages is None:
        ap.error("--pages is required")

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
