// The web page in headless Chromium (Debian's /usr/bin/chromium through
// puppeteer-core), opened from disk as a user opens it. The numbers it shows
// are checked against fourfifths-study --format json, the native program, on
// the same problem; any console message of an error, any page error and any
// request but the page itself fails the run. Screenshots at 1280 and 375
// pixels go to the output folder (look at them).
//   node page_test.mjs --page build/web/index.html --study build/default/fourfifths-study
//                      --examples examples --out build/web/test
import { execFileSync } from 'node:child_process';
import { mkdirSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';

const args = Object.fromEntries(process.argv.slice(2).reduce((pairs, a, i, all) =>
  (a.startsWith('--') ? [...pairs, [a.slice(2), all[i + 1]]] : pairs), []));
const pageUrl = pathToFileURL(resolve(args.page)).href;
const out = resolve(args.out);
mkdirSync(out, { recursive: true });

let failures = 0;
function check(ok, what) {
  if (!ok) {
    failures += 1;
    console.error(`FAIL: ${what}`);
  }
  return ok;
}

// fourfifths-study's JSON of a file: the study, or the front with --front.
function native(path, front = false, options = []) {
  const command = front ? ['pareto', '--format', 'json', ...options, path] : ['--format', 'json', path];
  return JSON.parse(execFileSync(resolve(args.study), command, { encoding: 'utf8' }));
}

// The same double to within the last digits that two C libraries' exp and
// log may differ in.
function near(a, b) {
  if (a === null || b === null) return a === b;
  return Math.abs(a - b) <= 1e-9 * Math.max(1, Math.abs(b));
}

// The numbers each table of the page shows, row by row, as fourfifths-study's
// JSON has them: the page's cells carry the value they round (data-value).
function expectedTables(kind, r) {
  const values = (row, fields) => fields.map((f) => row[f]);
  if (kind === 'study') {
    return { rows: r.rows.map((row) => values(row, ['sr', 'cutoff', 'sra', 'sri', 'ai', 'm', 'ma', 'mi', 'dif'])) };
  }
  if (kind === 'groups') {
    return {
      boundaries: r.boundaries.map((b) => [b.sr, b.cutoff]),
      rows: r.rows.map((row) => [row.sr, row.quality, ...row.groups.flatMap((g) => [g.sr, g.ai])]),
    };
  }
  if (kind === 'staged') {
    const design = (d) => d.stages.map((s) => [s.cutoff, s.pass, s.still_in,
      ...s.groups.flatMap((g) => [g.still_in, g.ai_cumulative])]);
    return { stages: design(r.staged), single: design(r.single) };
  }
  if (kind === 'group_front') {
    return { front: r.points.map((p) => [p.min_ai, p.validity, ...p.groups.slice(1).map((g) => g.ai),
      ...r.problem.predictors.map((name) => p.weights[name])]) };
  }
  const shrunk = (p) => (r.sample_size ? [p.shrunk_validity, p.shrunk_ai] : []);
  return { front: r.points.map((p) => [p.ai, p.validity, p.composite_d, p.cutoff, p.sra, p.sri, p.quality, ...shrunk(p), ...p.weights]) };
}

async function shownTables(page) {
  return page.evaluate(() => Object.fromEntries([...document.querySelectorAll('table[data-table]')].map((t) => [
    t.getAttribute('data-table'),
    [...t.querySelectorAll('tbody tr')].map((tr) => [...tr.querySelectorAll('td[data-value]')]
      .map((td) => (td.getAttribute('data-value') === '' ? null : Number(td.getAttribute('data-value'))))),
  ])));
}

function compareTables(what, shown, expected) {
  for (const [name, rows] of Object.entries(expected)) {
    if (!check(shown[name] && shown[name].length === rows.length,
      `${what}: table ${name} has ${shown[name] ? shown[name].length : 'no'} rows, fourfifths-study ${rows.length}`)) continue;
    let bad = 0;
    rows.forEach((row, i) => row.forEach((value, j) => {
      if (!near(shown[name][i][j], value) && bad++ < 3)
        check(false, `${what}: table ${name} row ${i + 1} column ${j + 1}: page ${shown[name][i][j]}, fourfifths-study ${value}`);
    }));
  }
}

async function kindShown(page) {
  await page.waitForFunction(() => document.body.hasAttribute('data-kind'));
  return page.evaluate(() => document.body.getAttribute('data-kind'));
}

// A page whose every console error, page error and request other than the
// page's own file fails the run.
async function open(browser, url, width = 1280) {
  const page = await browser.newPage();
  await page.setViewport({ width, height: 900 });
  page.on('console', (m) => check(!['error', 'warn', 'warning', 'assert'].includes(m.type()), `console ${m.type()}: ${m.text()}`));
  page.on('pageerror', (e) => check(false, `page error: ${e.message}`));
  page.on('request', (r) => check(r.url().split('#')[0] === pageUrl, `request: ${r.url().slice(0, 120)}`));
  await page.goto(url);
  await page.waitForSelector('body[data-ready]', { timeout: 20000 });
  return page;
}

// Replaces a field's text as a user would: select all, type.
async function type(page, selector, text) {
  await page.click(selector, { clickCount: 3 });
  await page.keyboard.press('Backspace');
  await page.type(selector, text);
}

// A screenshot, and whether it shows more than a blank page: the share of its
// pixels that are not the background, counted by a canvas in a blank page.
async function screenshot(browser, page, name) {
  const path = join(out, name);
  const png = await page.screenshot({ fullPage: true, encoding: 'base64' });
  writeFileSync(path, Buffer.from(png, 'base64'));
  const blank = await browser.newPage();
  const inked = await blank.evaluate(async (data) => {
    const image = new Image();
    image.src = 'data:image/png;base64,' + data;
    await image.decode();
    const canvas = document.createElement('canvas');
    [canvas.width, canvas.height] = [image.width, image.height];
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    const pixels = context.getImageData(0, 0, image.width, image.height).data;
    let ink = 0;
    for (let i = 0; i < pixels.length; i += 4) if (pixels[i] + pixels[i + 1] + pixels[i + 2] < 600) ++ink;
    return ink / (pixels.length / 4);
  }, png);
  await blank.close();
  check(inked > 0.02, `${name}: ${(inked * 100).toFixed(1)}% of the pixels drawn, a blank page`);
  console.log(`${path}: ${(inked * 100).toFixed(1)}% of the pixels drawn`);
}

const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  // Root in a container has no user namespace for Chromium's sandbox.
  args: process.getuid && process.getuid() === 0 ? ['--no-sandbox'] : [],
});

try {
  // Each example, chosen from the list, against the program on its file; the
  // front of the two-group examples too.
  const page = await open(browser, pageUrl);
  const timings = await page.evaluate(() => window.fourfifthsTimings);
  const examples = readdirSync(args.examples).filter((f) => /\.(deck|toml)$/.test(f)).sort();
  check(examples.length >= 5, `only ${examples.length} examples`);
  for (const example of examples) {
    const path = join(args.examples, example);
    await page.evaluate(() => document.body.removeAttribute('data-kind'));
    await page.select('#example', example);
    const expected = native(path);
    const kind = await kindShown(page);
    const nativeKind = expected.staged ? 'staged' : expected.boundaries ? 'groups' : 'study';
    if (check(kind === nativeKind, `${example}: the page shows ${kind}, fourfifths-study ${nativeKind}`))
      compareTables(example, await shownTables(page), expectedTables(kind, expected));
    if (example.endsWith('.deck')) {
      await page.evaluate(() => document.body.removeAttribute('data-kind'));
      await page.click('input[name=view][value=front]');
      if (check(await kindShown(page) === 'front', `${example}: no front`))
        compareTables(`${example} front`, await shownTables(page), expectedTables('front', native(path, true)));
      await page.click('input[name=view][value=study]');
      await kindShown(page);
    }
  }

  // The front of several groups with its target typed: the headline and the
  // points as the program has them, the target in the link, a target out of
  // range refused beside its field.
  await page.select('#example', 'groups.toml');
  await kindShown(page);
  await page.evaluate(() => document.body.removeAttribute('data-kind'));
  await page.click('input[name=view][value=front]');
  await kindShown(page);
  await type(page, '#front-target', '0.7');
  if (check(await kindShown(page) === 'group_front', 'groups.toml: no front of several groups')) {
    const expected = native(join(args.examples, 'groups.toml'), true, ['--target', '0.7']);
    compareTables('groups.toml front', await shownTables(page), expectedTables('group_front', expected));
    const headline = await page.$eval('#summary .headline', (p) => p.textContent);
    check(headline === expected.headline.words, `groups.toml front: headline "${headline}"`);
    check(await page.evaluate(() => location.hash.includes('tg=0.7')), 'the target is not in the link');
    check(await page.$eval('#chart svg', (svg) => svg.querySelectorAll('path, polyline, line').length > 10),
      'groups.toml front: no chart');
    await screenshot(browser, page, 'group-front-1280.png');
    await page.setViewport({ width: 375, height: 800 });
    const wide = await page.evaluate(() => document.documentElement.scrollWidth);
    check(wide <= 375, `the front of several groups at 375 px is ${wide} px wide`);
    await screenshot(browser, page, 'group-front-375.png');
    await page.setViewport({ width: 1280, height: 900 });
  }
  await type(page, '#front-target', '1.5');
  check(await kindShown(page) === 'refused' &&
    /Target AI "1.5"/.test(await page.$eval('#error-front', (p) => (p.hidden ? '' : p.textContent))) &&
    await page.$eval('#front-target', (i) => i.getAttribute('aria-invalid')) === 'true',
    'a target of 1.5: no message beside its field');
  await type(page, '#front-target', '');
  await page.click('input[name=view][value=study]');
  await kindShown(page);

  // A front fitted in a validation sample of 120: the expected validity and AI
  // on new applicants as the program has them; a sample of several groups is
  // refused beside its field.
  await page.select('#example', 'pareto.deck');
  await kindShown(page);
  await page.click('input[name=view][value=front]');
  await type(page, '#front-sample', '120');
  if (check(await kindShown(page) === 'front', 'pareto.deck: no front fitted in a sample')) {
    compareTables('pareto.deck front in a sample', await shownTables(page),
      expectedTables('front', native(join(args.examples, 'pareto.deck'), true, ['--sample-size', '120'])));
    check(await page.evaluate(() => location.hash.includes('ss=120')), 'the sample size is not in the link');
    await screenshot(browser, page, 'sample-front-1280.png');
  }
  await page.select('#example', 'groups.toml');
  await kindShown(page);
  check(await page.$eval('#front-sample', (i) => i.getAttribute('aria-invalid')) === 'true' &&
    /several groups/.test(await page.$eval('#error-front', (p) => p.textContent)),
    'a sample size with several groups: no message beside its field');
  await type(page, '#front-sample', '');
  await page.click('input[name=view][value=study]');
  await kindShown(page);

  // The keyboard alone, on a page just opened: the skip link first, the list
  // of examples chosen with the arrow keys, then on to the file picker.
  const keys = await open(browser, pageUrl);
  await keys.keyboard.press('Tab');
  check(await keys.evaluate(() => document.activeElement.className) === 'skip', 'Tab: the skip link is not first');
  for (let i = 0; i < 10 && await keys.evaluate(() => document.activeElement.id) !== 'example'; ++i)
    await keys.keyboard.press('Tab');
  await keys.evaluate(() => document.body.removeAttribute('data-kind'));
  // The list shows the worked example, its last; the one before it.
  await keys.keyboard.press('ArrowUp');
  check(await kindShown(keys) === 'study' && await keys.$eval('#example', (e) => e.value) === 'worked-majority.deck',
    'the arrow key does not choose the example before');
  await keys.keyboard.press('Tab');
  check(await keys.evaluate(() => document.activeElement.id) === 'open', 'Tab from the examples: not the file picker');
  await keys.close();

  // The worked example: the chart is the library's SVG, the screenshots, and
  // the time of one recomputation as a weight is typed.
  await page.select('#example', 'worked.deck');
  await kindShown(page);
  check(await page.$eval('#chart svg', (svg) => svg.querySelectorAll('path, polyline, line').length > 10),
    'worked.deck: no chart');
  await screenshot(browser, page, 'worked-1280.png');
  await page.setViewport({ width: 375, height: 800 });
  const overflow = await page.evaluate(() => document.documentElement.scrollWidth);
  check(overflow <= 375, `at 375 px the page is ${overflow} px wide`);
  await screenshot(browser, page, 'worked-375.png');
  await page.setViewport({ width: 1280, height: 900 });
  const keystrokes = [];
  for (const text of ['0.6', '0.7', '0.55']) {
    await type(page, 'input[data-key="weights.predictors.P2"]', text);
    keystrokes.push(await page.evaluate(() => window.fourfifthsTimings.lastUpdateMs));
  }
  keystrokes.sort((a, b) => a - b);
  console.log(`first study shown ${timings.firstStudyMs.toFixed(0)} ms after the page began to load; ` +
    `recomputation of the worked example per keystroke: median ${keystrokes[1].toFixed(1)} ms`);

  // The edited problem (now a study file) against the program on its text;
  // the back button restores the deck.
  const edited = await page.$eval('#text', (t) => t.value);
  check(/"P2": 0\.55/.test(edited), 'the typed weight is not in the problem\'s text');
  writeFileSync(join(out, 'edited.json'), edited);
  compareTables('edited worked example', await shownTables(page), expectedTables('groups', native(join(out, 'edited.json'))));
  const editedUrl = page.url();
  await page.goBack();
  await page.waitForFunction(() => document.getElementById('text').value.startsWith('  2  1  1'));
  check(await kindShown(page) === 'study', 'back: the deck\'s study is not shown again');

  // The downloads of the worked example: the deck reads back, in the
  // program, as the same problem; CSV and JSON are the program's, to the last
  // digits; the chart is an SVG document; the study file is one the program
  // takes.
  await page.evaluate(() => {
    window.downloaded = {};
    const blobs = new Map();
    const create = URL.createObjectURL;
    URL.createObjectURL = (blob) => {
      const url = create(blob);
      blobs.set(url, blob);
      return url;
    };
    // Kept from the browser's download, which would be a request.
    HTMLAnchorElement.prototype.click = function click() {
      blobs.get(this.href).text().then((text) => { window.downloaded[this.download] = text; });
    };
  });
  for (const kind of ['deck', 'toml', 'csv', 'json', 'svg']) await page.click(`[data-download=${kind}]`);
  await page.waitForFunction(() => Object.keys(window.downloaded).length === 5);
  const files = await page.evaluate(() => window.downloaded);
  for (const name of ['worked.deck', 'worked.toml', 'worked.csv', 'worked.json', 'worked.svg'])
    writeFileSync(join(out, 'download-' + name), files[name] ?? '');
  const workedJson = native(join(args.examples, 'worked.deck'));
  check(JSON.stringify(native(join(out, 'download-worked.deck'))) === JSON.stringify(workedJson),
    'the downloaded deck is not the same problem');
  check(native(join(out, 'download-worked.toml')).rows.length === workedJson.rows.length, 'the downloaded study file');
  const nativeCsv = execFileSync(resolve(args.study), ['--format', 'csv', join(args.examples, 'worked.deck')], { encoding: 'utf8' });
  const fields = (csv) => csv.trim().split('\n').map((line) => line.split(','));
  const [ours, theirs] = [fields(files['worked.csv'] || ''), fields(nativeCsv)];
  check(ours.length === theirs.length && ours.every((row, i) => row.length === theirs[i].length && row.every((f, j) =>
    f === theirs[i][j] || near(Number(f), Number(theirs[i][j])))), 'the downloaded CSV is not the program\'s');
  const rowsOf = (r) => r.rows.map((row) => [row.sr, row.sra, row.sri, row.ai, row.m]);
  compareTables('downloaded JSON', { rows: rowsOf(JSON.parse(files['worked.json'] || '{"rows":[]}')) }, { rows: rowsOf(workedJson) });
  check(/^<\?xml[^>]*>\s*<svg /.test(files['worked.svg'] || ''), 'the downloaded chart is not SVG');

  // A bad value: its message, in the library's words, beside its field;
  // nothing computed.
  await page.goForward();
  await page.waitForFunction(() => document.getElementById('text').value.includes('"P2": 0.55'));
  await type(page, 'input[data-key="groups[2].effects.P1"]', '-1x');
  const fault = await page.evaluate(() => {
    const input = document.querySelector('input[data-key="groups[2].effects.P1"]');
    const message = document.getElementById(input.getAttribute('aria-describedby') || 'none');
    return { invalid: input.getAttribute('aria-invalid'), message: message && !message.hidden ? message.textContent : '',
      rows: document.querySelectorAll('table[data-table] tbody tr').length };
  });
  check(fault.invalid === 'true', 'a bad effect size: its field is not marked invalid');
  check(/groups\[2\]\.effects\.P1.*expected a number/.test(fault.message), `a bad effect size: message "${fault.message}"`);
  check(fault.rows === 0, 'a bad effect size: results are still shown');
  // A correlation out of range: the analysis's message beside the grid.
  await type(page, 'input[data-key="groups[2].effects.P1"]', '-1');
  await type(page, 'input[data-key="correlations[2][1]"]', '1.5');
  const grid = await page.$eval('#error-correlations', (e) => (e.hidden ? '' : e.textContent));
  check(/Correlation \(1, 2\) is 1\.5/.test(grid), `a correlation of 1.5: message "${grid}"`);
  await type(page, 'input[data-key="correlations[2][1]"]', '0.3');

  // A matrix pasted from a spreadsheet, full with names, comma-separated:
  // the names and the values taken, then the same numbers as the program.
  await page.$eval('#paste', (t) => { t.value = ''; });
  await page.type('#paste', 'test,interview,rating\n1,0.2,0.45\n0.2,1,0.35\n0.45,0.35,1\n');
  await page.click('#use-paste');
  await page.waitForFunction(() => document.getElementById('text').value.includes('"interview"'));
  const pasted = await page.$eval('#text', (t) => JSON.parse(t.value));
  check(JSON.stringify(pasted.predictors) === '["test","interview"]' && JSON.stringify(pasted.criteria) === '["rating"]',
    `pasted names: ${pasted.predictors} / ${pasted.criteria}`);
  check(JSON.stringify(pasted.correlations) === '[[1],[0.2,1],[0.45,0.35,1]]', `pasted matrix: ${JSON.stringify(pasted.correlations)}`);
  writeFileSync(join(out, 'pasted.json'), JSON.stringify(pasted));
  compareTables('pasted matrix', await shownTables(page), expectedTables('groups', native(join(out, 'pasted.json'))));
  // A lower triangle, tab-separated, pasted into a cell of the grid.
  await page.$eval('#paste', (t) => { t.value = '1\n0.1\t1\n0.3\t0.2\t1'; });
  await page.click('#use-paste');
  await page.waitForFunction(() => document.getElementById('text').value.includes('0.1,'));
  check(/"correlations": \[\s*\[\s*1\s*\],\s*\[\s*0\.1,\s*1\s*\],\s*\[\s*0\.3,\s*0\.2,\s*1\s*\]/.test(await page.$eval('#text', (t) => t.value)),
    'pasted lower triangle not taken');
  // A ragged paste is refused with its reason.
  await page.$eval('#paste', (t) => { t.value = '1\n0.1\t1\t0.5\n0.3'; });
  await page.click('#use-paste');
  check(/row 2 has 3 values/.test(await page.$eval('#error-paste', (e) => e.textContent)), 'a ragged paste is not refused');

  // A deck opened with the file picker, one dropped on the page, and one
  // with a fault in its text.
  const [picker] = await Promise.all([page.waitForFileChooser(), page.click('label[for=open]')]);
  await picker.accept([resolve(args.examples, 'battery.deck')]);
  await page.waitForFunction(() => document.getElementById('source').textContent.includes('battery.deck'));
  compareTables('opened battery.deck', await shownTables(page), expectedTables('study', native(join(args.examples, 'battery.deck'))));
  // A deck dropped on the page.
  await page.evaluate((text) => {
    const data = new DataTransfer();
    data.items.add(new File([text], 'dropped.deck'));
    document.querySelector('main').dispatchEvent(new DragEvent('drop', { dataTransfer: data, bubbles: true, cancelable: true }));
  }, readFileSync(join(args.examples, 'worked-majority.deck'), 'utf8'));
  await page.waitForFunction(() => document.getElementById('source').textContent.includes('dropped.deck'));
  compareTables('dropped deck', await shownTables(page), expectedTables('study', native(join(args.examples, 'worked-majority.deck'))));
  const badDeck = join(out, 'bad.deck');
  writeFileSync(badDeck, readFileSync(join(args.examples, 'worked.deck'), 'utf8').replace('4.000', '4.0x0'));
  const input = await page.$('#open');
  await input.uploadFile(badDeck);
  await page.waitForFunction(() => !document.getElementById('error-text').hidden);
  const deckFault = await page.$eval('#error-text', (e) => e.textContent);
  check(/bad\.deck: line 2, columns 1-7/.test(deckFault), `a deck with a bad field: message "${deckFault}"`);

  // The shared link of the edited worked example, opened afresh: the same
  // problem and the same numbers.
  const shared = await open(browser, editedUrl);
  check(await shared.$eval('#text', (t) => t.value) === edited, 'the shared link does not hold the problem');
  compareTables('shared link', await shownTables(shared), expectedTables('groups', native(join(out, 'edited.json'))));

  // Every field has a name for a screen reader; text keeps WCAG AA contrast.
  const unnamed = await shared.evaluate(() => [...document.querySelectorAll('input, select, textarea, button')]
    .filter((e) => !(e.labels && e.labels.length) && !e.getAttribute('aria-label') && !e.textContent.trim())
    .map((e) => e.outerHTML.slice(0, 80)));
  check(unnamed.length === 0, `fields without a name: ${unnamed.join(' ')}`);
  const contrast = await shared.evaluate(() => {
    const rgb = (c) => c.match(/[\d.]+/g).map(Number);
    const luminance = ([r, g, b]) => [r, g, b].map((v) => {
      const s = v / 255;
      return s <= 0.03928 ? s / 12.92 : ((s + 0.055) / 1.055) ** 2.4;
    }).reduce((sum, v, i) => sum + v * [0.2126, 0.7152, 0.0722][i], 0);
    const background = (e) => {
      for (; e; e = e.parentElement) {
        const c = rgb(getComputedStyle(e).backgroundColor);
        if (c.length < 4 || c[3] > 0) return c.slice(0, 3);
      }
      return [255, 255, 255];
    };
    const low = [];
    for (const e of document.querySelectorAll('body *')) {
      if (e.closest('svg') || e.closest('[hidden]') || e.classList.contains('skip')) continue;
      if (![...e.childNodes].some((n) => n.nodeType === 3 && n.textContent.trim())) continue;
      const [a, b] = [luminance(rgb(getComputedStyle(e).color)), luminance(background(e))];
      const ratio = (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
      if (ratio < 4.5) low.push(`${e.tagName} "${e.textContent.trim().slice(0, 30)}" ${ratio.toFixed(2)}`);
    }
    return low;
  });
  check(contrast.length === 0, `text below 4.5:1: ${contrast.slice(0, 5).join('; ')}`);

  // The staged example at 375 pixels, for the eye.
  await shared.setViewport({ width: 375, height: 800 });
  await shared.select('#example', 'stages.toml');
  await kindShown(shared);
  await screenshot(browser, shared, 'stages-375.png');
  await shared.setViewport({ width: 1280, height: 900 });
  await shared.select('#example', 'groups.toml');
  await kindShown(shared);
  await screenshot(browser, shared, 'groups-1280.png');
} catch (e) {
  check(false, e.stack || String(e));
} finally {
  await browser.close();
}

if (failures) {
  console.error(`web page: ${failures} failure(s)`);
  process.exit(1);
}
console.log('web page: all checks passed');
