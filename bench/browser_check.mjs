// Opens pages in headless Chromium and records what a reader's browser
// fetched, what it was refused, which style rules matched and where the
// page's links lead. It judges nothing: bench/browser_fidelity.py writes the
// job, reads the record and compares a served page with its mirrored copy.
//
//   node bench/browser_check.mjs JOB.json RECORD.json
//
// JOB.json: {"chromium": "/usr/bin/chromium", "modules": DIR,
//            "visits": [{"key": K, "url": U, "allow": [URL prefixes], "refresh": bool}]}
// "refresh" says that the page's file has a meta refresh (the caller read
// the file): the visit then waits for the navigation it makes.
// Each visit runs in a browser context of its own with the cache off, so no
// page borrows what an earlier one fetched. A request whose URL starts with
// none of the visit's allowed prefixes is aborted and recorded as blocked:
// for a mirror opened from disk that is every request that would have left
// the disk.
//
// puppeteer-core comes from "modules" (bench/run.sh installs it under the
// work directory), not from a global install, hence createRequire.

import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';

const [jobPath, outPath] = process.argv.slice(2);
if (!jobPath || !outPath) {
  console.error('usage: node browser_check.mjs JOB.json RECORD.json');
  process.exit(2);
}
const job = JSON.parse(fs.readFileSync(jobPath, 'utf8'));
const require = createRequire(path.join(path.resolve(job.modules), 'node_modules', 'noop.js'));
const puppeteer = require('puppeteer-core');

const LOAD_TIMEOUT_MS = 20000;
// Requests that start after "load" (the theme switch's stylesheet images,
// the lazy images, a meta refresh) end within milliseconds on 127.0.0.1 or
// a disk; the wait is for the network to fall quiet, bounded in case a page
// never does.
const IDLE_MS = 300;
const IDLE_TIMEOUT_MS = 8000;
const REFRESH_TIMEOUT_MS = 8000;

const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'sg-browser-check-'));
const browser = await puppeteer.launch({
  executablePath: job.chromium || '/usr/bin/chromium',
  headless: false, // --headless is passed below, as written
  userDataDir,
  args: [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
  ],
});

// Style rules as coverage reports them: ranges of used rules, adjacent ones
// merged, so a range is split at the braces that close a top-level rule.
function selectorsOf(text) {
  const out = [];
  let depth = 0;
  let start = 0;
  let quote = null;
  for (let i = 0; i < text.length; i++) {
    const c = text[i];
    if (quote) {
      if (c === '\\') i++;
      else if (c === quote) quote = null;
      continue;
    }
    if (c === '"' || c === "'") quote = c;
    else if (c === '{') {
      if (depth === 0) out.push(text.slice(start, i).replace(/\/\*[\s\S]*?\*\//g, '').replace(/\s+/g, ' ').trim());
      depth++;
    } else if (c === '}') {
      depth--;
      if (depth === 0) start = i + 1;
    }
  }
  return out.filter((s) => s && !s.startsWith('@'));
}

async function visit(v) {
  const rec = {
    url: v.url, requests: [], refused: [], navigations: [], commits: [], used_selectors: [], empty_sheets: [],
    anchors: [],
    content_type: null, error: null,
  };
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  const entries = new Map();
  let mainNavigations = 0;
  let onNavigation = null;
  try {
    await page.setViewport({ width: 1280, height: 900, deviceScaleFactor: 1 });
    await page.setCacheEnabled(false);
    await page.setRequestInterception(true);
    page.on('request', (r) => {
      const url = r.url();
      const e = {
        url, type: r.resourceType(), main: r.frame() === page.mainFrame(),
        navigation: r.isNavigationRequest(), status: null, failure: null, blocked: false,
      };
      entries.set(r, e);
      rec.requests.push(e);
      if (r.isInterceptResolutionHandled()) return;
      if (v.allow.some((p) => url.startsWith(p))) {
        r.continue();
      } else {
        e.blocked = true;
        r.abort('blockedbyclient');
      }
    });
    page.on('requestfinished', (r) => {
      const e = entries.get(r);
      if (e) e.status = r.response() ? r.response().status() : null;
    });
    page.on('requestfailed', (r) => {
      const e = entries.get(r);
      if (e) e.failure = r.failure() ? r.failure().errorText : 'failed';
    });
    // Chromium refuses some file: loads outright (an SVG <use> of another
    // file) and only says so on the console; no request is made.
    page.on('console', (m) => {
      const hit = /Unsafe attempt to load URL (\S+) from frame/.exec(m.text());
      if (hit) rec.refused.push(hit[1]);
    });
    page.on('framenavigated', (f) => {
      if (f !== page.mainFrame()) return;
      rec.navigations.push(f.url());
      // Requests made after this point are the new document's: what the
      // page left behind was still loading is told apart by this mark.
      rec.commits.push(rec.requests.length);
      mainNavigations++;
      if (onNavigation) onNavigation();
    });
    await page.coverage.startCSSCoverage({ resetOnNavigation: true });
    await page.goto(v.url, { waitUntil: 'load', timeout: LOAD_TIMEOUT_MS });
    if (v.refresh) {
      // The refresh navigates once the page has loaded; wait for that second
      // main-frame navigation and the load of what it brings.
      if (mainNavigations < 2) {
        await new Promise((resolve) => {
          const timer = setTimeout(resolve, REFRESH_TIMEOUT_MS);
          onNavigation = () => {
            if (mainNavigations >= 2) {
              clearTimeout(timer);
              resolve();
            }
          };
        });
      }
      await page.waitForFunction(() => document.readyState === 'complete', { timeout: LOAD_TIMEOUT_MS })
        .catch(() => {});
    }
    await page.waitForNetworkIdle({ idleTime: IDLE_MS, timeout: IDLE_TIMEOUT_MS }).catch(() => {});
    const coverage = await page.coverage.stopCSSCoverage();
    const used = new Set();
    // Chromium keeps a stylesheet file whose name does not say ".css" as an
    // empty sheet, although the request succeeded. (A sheet removed before
    // its text was read, such as the light theme that a script replaces, is
    // simply missing from the coverage, so absence proves nothing.)
    rec.empty_sheets = [...new Set(coverage.filter((sheet) => !sheet.text.trim()).map((sheet) => sheet.url))].sort();
    for (const sheet of coverage) {
      for (const range of sheet.ranges) {
        for (const s of selectorsOf(sheet.text.slice(range.start, range.end))) used.add(s);
      }
    }
    rec.used_selectors = [...used].sort();
    rec.final_url = page.url();
    rec.content_type = await page.evaluate(() => document.contentType).catch(() => null);
    rec.anchors = await page.evaluate(() => Array.from(document.querySelectorAll('a[href]'),
      (a) => [a.textContent.replace(/\s+/g, ' ').trim(), a.href, a.getAttribute('href')]))
      .catch(() => []);
  } catch (err) {
    rec.error = String(err && err.message ? err.message : err);
  } finally {
    await context.close().catch(() => {});
  }
  return rec;
}

const record = { visits: {} };
try {
  let n = 0;
  for (const v of job.visits) {
    record.visits[v.key] = await visit(v);
    n++;
    if (n % 25 === 0) console.error(`browser_check: ${n}/${job.visits.length} pages`);
  }
} finally {
  await browser.close().catch(() => {});
  fs.rmSync(userDataDir, { recursive: true, force: true });
}
fs.writeFileSync(outPath, JSON.stringify(record));
